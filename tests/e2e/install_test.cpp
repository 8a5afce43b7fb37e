// `make install` and `make uninstall` as a user meets them, in a temporary prefix: the
// installed tracker writes only into its user's folder, the installed launchers run, the
// desktop files pass the desktop's own validators, the
// desktop knows a song file by its type, and uninstalling leaves nothing but the songs
// the user saved. `make deb` builds a clean package whose unpacked programs run.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <unistd.h>

#include "support/files.h"
#include "support/renders.h"
#include "support/xvfb.h"
#include "session.h"

namespace fs = std::filesystem;

namespace {

const std::string kApp = "/lib/tamo-tracker";   // the application folder in the prefix

struct Shell {
    int status = -1;
    std::string output;   // standard output and standard error
};

Shell shell(const std::string& command) {
    Shell result;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return result;
    char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, p)) > 0) result.output.append(block, n);
    int status = pclose(p);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string firstLine(const Shell& shell) { return shell.output.substr(0, shell.output.find('\n')); }

std::string inQuotes(const std::string& path) { return "'" + path + "'"; }

// Installs the build into `prefix` with CMake's install rules, as `make install` does.
void install(const std::string& prefix) {
    Shell r = shell("cmake --install " + inQuotes(TAMO_BINARY_DIR) + " --prefix " + inQuotes(prefix));
    ASSERT_EQ(r.status, 0) << r.output;
}

Shell uninstall(const std::string& prefix) {
    return shell(inQuotes(TAMO_SOURCE_DIR "/dist/uninstall.sh") + " " + inQuotes(prefix));
}

// Every file and link below `root`, relative to it.
std::set<std::string> filesBelow(const std::string& root) {
    std::set<std::string> files;
    for (auto& e : fs::recursive_directory_iterator(root))
        if (!e.is_directory() || e.is_symlink()) files.insert(e.path().lexically_relative(root));
    return files;
}

// Every file, link and folder below `root` with its size and modification time.
std::map<std::string, std::string> stamps(const std::string& root) {
    std::map<std::string, std::string> all;
    for (auto& e : fs::recursive_directory_iterator(root)) {
        const auto time = e.symlink_status().type() == fs::file_type::symlink
                              ? 0 : e.last_write_time().time_since_epoch().count();
        all[e.path().lexically_relative(root)] =
            std::to_string(e.is_regular_file() ? e.file_size() : 0) + " " + std::to_string(time);
    }
    return all;
}

}  // namespace

// The installed program as an ordinary user meets it, in a prefix nobody may write to:
// every song it writes goes to that user's ~/.local/share/tamo-tracker/songs, the demos
// load from the prefix, and nothing there changes.
TEST(Installation, AnInstalledTrackerWritesOnlyIntoItsUsersOwnFolder) {
    ASSERT_TRUE(sharedXvfb().ok()) << "Xvfb did not start";
    TempDir prefix, dir;
    const std::string p = prefix.path();
    install(p);
    ASSERT_EQ(shell("chmod -R a-w,a+rX " + inQuotes(p)).status, 0);
    const auto before = stamps(p);
    TamoSession tamo(dir);
    const std::string home = dir.file("home"), songs = home + "/.local/share/tamo-tracker/songs/";
    fs::create_directory(home);
    if (geteuid() == 0) ASSERT_EQ(shell("chown -R 65534:65534 " + inQuotes(dir.path())).status, 0);
    tamo.useProgram(p + "/bin/tamo-tracker");
    tamo.useHome(home);
    ASSERT_TRUE(tamo.start()) << tamo.error();

    tamo.click(kEditButton[0], kEditButton[1]);
    tamo.type("q");
    tamo.enterName("mine");
    tamo.key("F11");                                    // SAVE
    tamo.click(kEditButton[0], kEditButton[1]);
    tamo.type("w");
    tamo.key("F11");                                    // SAVE again: a backup
    tamo.key("F1");                                     // PLAY: the hand-off
    tamo.wait(300);
    tamo.key("F1");
    tamo.key("ctrl+e");
    for (int i = 0; i < 300 && !fs::exists(songs + "mine.wav"); ++i) tamo.wait(100);
    tamo.click(kEditButton[0], kEditButton[1]);
    tamo.type("e");                                     // unsaved: the rescue copy at the close
    ASSERT_EQ(tamo.close(), 0) << tamo.log();

    ASSERT_TRUE(tamo.start()) << tamo.error();
    tamo.enterName("demo1");
    tamo.key("F12");                                    // LOAD from the installed demos
    tamo.key("F11");                                    // SAVE: the user's own copy
    ASSERT_EQ(tamo.close(), 0) << tamo.log();

    EXPECT_EQ(filesBelow(home), (std::set<std::string>{
        ".local/share/tamo-tracker/songs/mine", ".local/share/tamo-tracker/songs/backup/mine",
        ".local/share/tamo-tracker/songs/tmp.dat", ".local/share/tamo-tracker/songs/mine.wav",
        ".local/share/tamo-tracker/songs/autosave", ".local/share/tamo-tracker/songs/demo1"}))
        << tamo.log();
    EXPECT_NE(readFile(songs + "mine"), readFile(songs + "backup/mine"));
    EXPECT_EQ(readFile(songs + "demo1"), readFile(p + kApp + "/data/songs/demo1"));
    EXPECT_TRUE(stamps(p) == before) << "the prefix changed";
    shell("chmod -R u+w " + inQuotes(p));
}

TEST(Installation, TheInstalledRenderPlaysADemoAndTheDesktopFilesAreValid) {
    TempDir prefix;
    install(prefix.path());
    const std::string p = prefix.path();

    // The launcher is the way in: it must find the data folder beside the program.
    std::string wav = prefix.file("demo1.wav");
    Shell render = shell(inQuotes(p + "/bin/tamo-render") + " " +
                         inQuotes(p + kApp + "/data/songs/demo1") + " " + inQuotes(wav));
    ASSERT_EQ(render.status, 0) << render.output;
    EXPECT_GT(fs::file_size(wav), 44100u * 4) << "less than a second of sound";
    EXPECT_TRUE(fs::exists(p + "/bin/tamo-tracker"));
    EXPECT_EQ(fs::canonical(p + "/bin/tamo-tracker"), fs::canonical(p + kApp + "/tamo"));

    std::string entry = p + "/share/applications/tamo-tracker.desktop";
    Shell desktop = shell("desktop-file-validate " + inQuotes(entry));
    EXPECT_EQ(desktop.status, 0) << desktop.output;
    EXPECT_EQ(desktop.output, "") << "warnings from desktop-file-validate";
    EXPECT_NE(readFile(entry).find("Exec=\"" + p + "/bin/tamo-tracker\""), std::string::npos)
        << "the menu entry does not start the installed launcher:\n" << readFile(entry);

    EXPECT_NE(readFile(entry).find("MimeType=application/x-tamo-song;"), std::string::npos);
    EXPECT_NE(readFile(entry).find("tamo-tracker\" %f\n"), std::string::npos)
        << "a song opened from the desktop does not reach the program";

    // The install registered the song type: the desktop sees it in a song of no
    // particular name, not in other files, and knows the tracker opens it.
    const std::string song = prefix.file("a song"), text = prefix.file("notes");
    fs::copy_file(TAMO_SOURCE_DIR "/data/songs/demo1", song);
    writeFile(text, "TAM: not quite a song\n");
    const std::string gio = "XDG_DATA_HOME=" + inQuotes(p + "/share") +
                            " XDG_DATA_DIRS=/usr/share gio info -a standard::content-type ";
    Shell type = shell(gio + inQuotes(song));
    EXPECT_NE(type.output.find("standard::content-type: application/x-tamo-song"),
              std::string::npos) << type.output;
    type = shell(gio + inQuotes(text));
    EXPECT_EQ(type.output.find("x-tamo-song"), std::string::npos) << type.output;
    EXPECT_NE(readFile(p + "/share/applications/mimeinfo.cache")
                  .find("application/x-tamo-song=tamo-tracker.desktop;"),
              std::string::npos);

    Shell metainfo = shell("appstreamcli validate --no-net " +
                           inQuotes(p + "/share/metainfo/org.tamotracker.TamoTracker.metainfo.xml"));
    EXPECT_EQ(metainfo.status, 0) << metainfo.output;

    for (const char* size : {"48x48", "128x128", "256x256"})
        EXPECT_TRUE(fs::exists(p + "/share/icons/hicolor/" + size + "/apps/tamo-tracker.png")) << size;
    EXPECT_TRUE(fs::exists(p + "/share/man/man6/tamo-tracker.6"));
    EXPECT_TRUE(fs::exists(p + "/share/man/man1/tamo-render.1"));
}

TEST(Installation, UninstallLeavesNothingButTheSongsTheUserSaved) {
    TempDir prefix;
    const std::string p = prefix.path();
    fs::create_directories(p + "/share");   // a folder that was there before stays
    install(p);
    install(p);                             // installing again changes nothing
    const std::string songs = p + kApp + "/data/songs/";
    writeFile(songs + "mine", "TAM1 a song of the user's");
    writeFile(songs + "demo2", readFile(songs + "demo2") + "edited");   // now the user's
    writeFile(songs + "tmp.dat", "the playback hand-off");

    Shell r = uninstall(p);
    ASSERT_EQ(r.status, 0) << r.output;
    std::set<std::string> expected = {"lib/tamo-tracker/data/songs/mine",
                                      "lib/tamo-tracker/data/songs/demo2"};
    EXPECT_EQ(filesBelow(p), expected) << r.output;
    EXPECT_TRUE(fs::is_directory(p + "/share"));
    EXPECT_FALSE(fs::exists(p + "/share/applications")) << "a folder the install made is left";

    // Once the user's songs are gone too, a second uninstall finds nothing to do.
    fs::remove_all(p + "/lib");
    r = uninstall(p);
    EXPECT_EQ(r.status, 0) << r.output;
}

// The whole package as a user gets it: built by `make deb` (which also fails on any
// lintian error or warning), named by the programs' version, holding the install
// rules' files where Debian wants them, and runnable where it is unpacked.
TEST(Installation, TheDebianPackageIsLintianCleanAndRunsUnpacked) {
    Shell deb = shell("make -C " + inQuotes(TAMO_SOURCE_DIR) + " deb BUILD=" + inQuotes(TAMO_BINARY_DIR));
    ASSERT_EQ(deb.status, 0) << deb.output.substr(deb.output.size() - std::min<size_t>(deb.output.size(), 4000));
    EXPECT_EQ(deb.output.find("\nW: "), std::string::npos) << "lintian warnings";
    EXPECT_EQ(deb.output.find("\nE: "), std::string::npos) << "lintian errors";
    std::string version = firstLine(shell(inQuotes(TAMO_BINARY_DIR "/tamo") + " --version"));
    ASSERT_EQ(version.rfind("tamo-tracker ", 0), 0u) << version;
    version = version.substr(13);
    const std::string arch = firstLine(shell("dpkg --print-architecture"));
    const std::string package = TAMO_BINARY_DIR "/tamo-tracker_" + version + "_" + arch + ".deb";
    ASSERT_TRUE(fs::exists(package)) << package;

    TempDir unpacked;
    Shell x = shell("dpkg-deb -x " + inQuotes(package) + " " + inQuotes(unpacked.path()));
    ASSERT_EQ(x.status, 0) << x.output;
    std::set<std::string> files = filesBelow(unpacked.path());
    const std::string appDir =
        "usr/lib/" + firstLine(shell("dpkg-architecture -qDEB_HOST_MULTIARCH")) + "/tamo-tracker/";
    for (const std::string& want : std::vector<std::string>{"usr/bin/tamo-tracker", "usr/bin/tamo-render", appDir + "tamo", appDir + "tamo-render",
          appDir + "data/installed", appDir + "data/glimfont.png", appDir + "data/wav/saw_64.wav",
          appDir + "data/songs/demo1", "usr/share/applications/tamo-tracker.desktop",
          "usr/share/mime/packages/tamo-tracker.xml",
          "usr/share/metainfo/org.tamotracker.TamoTracker.metainfo.xml",
          "usr/share/icons/hicolor/48x48/apps/tamo-tracker.png",
          "usr/share/man/man6/tamo-tracker.6.gz", "usr/share/doc/tamo-tracker/copyright"})
        EXPECT_EQ(files.count(want), 1u) << want << " is not in the package";
    for (const std::string& file : files) {
        EXPECT_EQ(file.rfind("usr/", 0), 0u) << file << " is outside /usr";
        EXPECT_EQ(file.find("installed-files"), std::string::npos) << "dpkg lists the files itself";
        EXPECT_EQ(file.find("/songs/"), file.find("/songs/demo")) << "not a demo song: " << file;
    }
    EXPECT_NE(readFile(unpacked.file("usr/share/applications/tamo-tracker.desktop"))
                  .find("Exec=\"/usr/bin/tamo-tracker\" %f"), std::string::npos);

    // The unpacked programs find their data beside themselves, through the launcher.
    const std::string wav = unpacked.file("demo1.wav");
    Shell render = shell(inQuotes(unpacked.file("usr/bin/tamo-render")) + " " +
                         inQuotes(unpacked.file(appDir + "data/songs/demo1")) + " " + inQuotes(wav));
    ASSERT_EQ(render.status, 0) << render.output;
    EXPECT_EQ(checksum(sampleBytes(readFile(wav))), committedChecksums()["demo1"]);
    EXPECT_EQ(shell(inQuotes(unpacked.file("usr/bin/tamo-tracker")) + " --version").output,
              "tamo-tracker " + version + "\n");
}
