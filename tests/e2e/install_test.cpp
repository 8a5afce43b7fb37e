// `make install` and `make uninstall` as a user meets them, in a temporary prefix: the
// installed launchers run, the desktop files pass the desktop's own validators, and
// uninstalling leaves nothing but the songs the user saved.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "support/files.h"
#include "support/xvfb.h"

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
        if (!e.is_directory() || e.is_symlink()) files.insert(fs::relative(e.path(), root));
    return files;
}

}  // namespace

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
