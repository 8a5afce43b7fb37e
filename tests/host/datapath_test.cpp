// Data paths, whole-file loading and text decoding, the saved state and URLs, on real
// files in a temporary folder that the host takes as its executable's folder.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "host/datapath.h"
#include "host/folders.h"
#include "host/game.h"
#include "host/settings.h"
#include "support/files.h"
#include "support/xvfb.h"

namespace fs = std::filesystem;

namespace {

// Runs the test body inside `dir`, so "./" paths and the saved state land there.
class ScopedWorkingFolder {
public:
    explicit ScopedWorkingFolder(const std::string& dir) : previous_(fs::current_path()) {
        fs::current_path(dir);
    }
    ~ScopedWorkingFolder() { fs::current_path(previous_); }

private:
    fs::path previous_;
};

class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.path() + "/data/songs");
        host.setDataRoot(widen(dir.path()));
    }
    std::string dataFile(const std::string& name) const { return dir.path() + "/data/" + name; }
    // Writes `bytes` to data/<name> and reads it back as text through the host.
    String textOf(const std::string& bytes, const std::string& name = "t.txt") {
        writeFile(dataFile(name), bytes);
        return loadText(widen(name));
    }

    TempDir dir;
    VXGlfwGame host;
};

}  // namespace

TEST(DataPathNames, RelativeNamesBecomeDataPathsAndOthersStayAsGiven) {
    EXPECT_EQ(toDataPath(U"songs/demo.txt"), U"vantorix://data/songs/demo.txt");
    EXPECT_EQ(toDataPath(U"a/b:/c"), U"vantorix://data/a/b:/c");
    EXPECT_EQ(toDataPath(U"/tmp/x"), U"/tmp/x");
    EXPECT_EQ(toDataPath(U"./x"), U"./x");
    EXPECT_EQ(toDataPath(U"vantorix://data/wav/a.wav"), U"vantorix://data/wav/a.wav");
    EXPECT_EQ(toDataPath(U"c:/music"), U"c:/music");
    EXPECT_EQ(toDataPath(U"tune"), U"vantorix://data/tune");
}

TEST(DataPathMapping, SchemesMapBelowTheApplicationFolder) {
    VXGlfwGame host;
    host.setDataRoot(U"/opt/app");
    EXPECT_EQ(host.mapDataPath(toDataPath(U"songs/demo.txt")), U"/opt/app/data/songs/demo.txt");
    EXPECT_EQ(host.mapDataPath(U"vantorix://internal/cfg"), U"/opt/app/internal/cfg");
    EXPECT_EQ(host.mapDataPath(U"vantorix://external/pic.png"), U"/opt/app/external/pic.png");
    EXPECT_EQ(host.mapDataPath(U"vantorix://other/x"), U"");
    EXPECT_EQ(host.mapDataPath(U"vantorix:data/x"), U"");
    EXPECT_EQ(host.mapDataPath(U"/tmp/x"), U"/tmp/x");
    EXPECT_EQ(host.mapDataPath(U"./x"), U"./x");
}

TEST(DataPathMapping, DataFolderIsBesideTheRunningExecutable) {
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(TAMO_BINARY_DIR "/tests", resolved), nullptr);
    VXGlfwGame host;   // no data root set: found from /proc/<pid>/exe
    EXPECT_EQ(narrow(host.mapDataPath(U"vantorix://data/songs/x")),
              std::string(resolved) + "/data/songs/x");
    EXPECT_EQ(narrow(executableFolder()), std::string(resolved));
}

TEST_F(DataFolderTest, OtherSchemesOpenNoFile) {
    writeFile(dataFile("x"), "data");
    EXPECT_NE(host.openFile(U"vantorix://data/x", "rb"), nullptr);
    EXPECT_EQ(host.openFile(U"vantorix://other/x", "rb"), nullptr);
    EXPECT_FALSE(host.loadData(U"vantorix://other/x").has_value());
    EXPECT_EQ(host.loadString(U"vantorix://nothing/x"), U"");
}

TEST_F(DataFolderTest, DotSlashPathsOpenRelativeToTheWorkingFolder) {
    fs::create_directories(dir.path() + "/work");
    writeFile(dir.path() + "/work/x", "here");
    ScopedWorkingFolder cwd(dir.path() + "/work");
    std::optional<std::vector<uint8_t>> bytes = host.loadData(toDataPath(U"./x"));
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "here");
}

TEST_F(DataFolderTest, WholeFilesLoadAsBytesOfEverySize) {
    EXPECT_FALSE(host.loadData(U"vantorix://data/missing").has_value());
    writeFile(dataFile("empty"), "");
    ASSERT_TRUE(host.loadData(U"vantorix://data/empty").has_value());
    EXPECT_EQ(host.loadData(U"vantorix://data/empty")->size(), 0u);
    // Exactly one block, and a block and a bit: the block-wise reading ends right.
    for (size_t size : {size_t(4096), size_t(4096 * 3 + 17)}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = char(i * 7);
        writeFile(dataFile("big"), bytes);
        std::optional<std::vector<uint8_t>> loaded = host.loadData(U"vantorix://data/big");
        ASSERT_TRUE(loaded.has_value());
        EXPECT_EQ(std::string(loaded->begin(), loaded->end()), bytes) << size;
    }
}

// A FIFO without a writer, a device, a folder and a file above the loader's bound
// load as a missing file does, at once: nothing waits on the FIFO, nothing reads on
// from the device.
TEST_F(DataFolderTest, OnlyRegularFilesWithinTheirBoundAreRead) {
    ASSERT_EQ(mkfifo(dataFile("pipe.wav").c_str(), 0600), 0);
    for (const String& path : {String(U"vantorix://data/pipe.wav"), String(U"/dev/zero"),
                               String(U"vantorix://data/songs")}) {
        SCOPED_TRACE(narrow(path));
        EXPECT_FALSE(host.loadData(path).has_value());
        EXPECT_EQ(host.loadString(path), U"");
    }
    EXPECT_EQ(loadText(U"pipe.wav"), U"");
    EXPECT_FALSE(host.loadAudioSamples(U"vantorix://data/pipe.wav").has_value());
    writeFile(dataFile("sized"), std::string(1000, 'a'));
    EXPECT_EQ(loadText(U"sized", 1000), String(1000, U'a'));
    EXPECT_EQ(loadText(U"sized", 999), U"");
    EXPECT_FALSE(readRegularFile(dataFile("sized"), 999).has_value());
    EXPECT_EQ(readRegularFile(dataFile("sized"), 1000)->size(), 1000u);
}

TEST_F(DataFolderTest, TextFilesDecodeUtf8AndFallBackToLatin1) {
    EXPECT_EQ(textOf("\xC3\xA9"), U"\u00E9");
    EXPECT_EQ(textOf("\xE9" "A"), U"\u00E9A");
    EXPECT_EQ(textOf("\xE2\x82\xAC" "5"), U"\u20AC5");
    EXPECT_EQ(textOf("\xF0\x9F\x8E\xB5"), U"\U0001F3B5");
    EXPECT_EQ(textOf("\xC0\x81"), U"\u0001");                // overlong forms are accepted
    EXPECT_EQ(textOf("ab\xC3"), U"ab\u00C3");                // cut off by the end of the file
    EXPECT_EQ(textOf("\xC3" "A"), U"\u00C3A");               // continuation byte missing
    EXPECT_EQ(textOf("\xF8\x80\x80\x80\x80"), String(U"\u00F8\u0080\u0080\u0080\u0080"));
    EXPECT_EQ(textOf(""), U"");
    EXPECT_EQ(loadText(U"missing.txt"), U"");
}

TEST_F(DataFolderTest, ByteOrderMarksChooseUtf16OrAreSkipped) {
    EXPECT_EQ(textOf(std::string("\xFF\xFE" "A\0", 4)), U"A");
    EXPECT_EQ(textOf(std::string("\xFE\xFF\0A\x20\xAC", 6)), U"A\u20AC");
    EXPECT_EQ(textOf(std::string("\xFF\xFE" "A\0B", 5)), U"A");       // final odd byte ignored
    EXPECT_EQ(textOf("\xFF\xFE"), U"");
    EXPECT_EQ(textOf(std::string("\xFF\xFE\x3D\xD8\x35\xDF", 6)), String(U"\xD83D\xDF35", 2));
    EXPECT_EQ(textOf("\xEF\xBB\xBF" "abc"), U"abc");
    EXPECT_EQ(textOf("\xEF\xBB\xBF"), U"");
    // Invalid UTF-8 after the mark: Latin-1 of the bytes after it.
    EXPECT_EQ(textOf("\xEF\xBB\xBF" "\xE9"), U"\u00E9");
}

TEST_F(DataFolderTest, SavedStateRoundTripsInTheWorkingFolder) {
    ScopedWorkingFolder cwd(dir.path());
    EXPECT_EQ(host.loadState(), U"");
    String text = U"level 3 \u00E9\u20AC\U0001F3B5 end";
    EXPECT_EQ(host.saveState(text), 0);
    EXPECT_TRUE(fs::exists(dir.path() + "/.vantorixstate"));
    EXPECT_EQ(readFile(dir.path() + "/.vantorixstate"), encodeUtf8(text));
    EXPECT_EQ(host.loadState(), text);
    EXPECT_EQ(host.saveState(U""), 0);
    EXPECT_EQ(host.loadState(), U"");
}

TEST_F(DataFolderTest, SavedStateReportsFilesItCannotWrite) {
    ScopedWorkingFolder cwd(dir.path());
    fs::create_directory(dir.path() + "/.vantorixstate");   // a folder cannot be opened to write
    EXPECT_EQ(host.saveState(U"x"), -1);
    fs::remove(dir.path() + "/.vantorixstate");
    fs::create_symlink("/dev/full", dir.path() + "/.vantorixstate");
    EXPECT_EQ(host.saveState(U"a state that does not fit"), -2);
}

TEST_F(DataFolderTest, PicturesLoadWithTheirOwnChannelCount) {
    writeFile(dataFile("rgb.ppm"), std::string("P6\n2 1\n255\n") + "\x10\x20\x30\x40\x50\x60");
    std::optional<ImagePixels> rgb = host.loadImagePixels(toDataPath(U"rgb.ppm"));
    ASSERT_TRUE(rgb.has_value());
    EXPECT_EQ(rgb->width, 2);
    EXPECT_EQ(rgb->height, 1);
    EXPECT_EQ(rgb->depth, 3);
    EXPECT_EQ(std::string(rgb->data.begin(), rgb->data.end()), "\x10\x20\x30\x40\x50\x60");

    writeFile(dataFile("grey.pgm"), std::string("P5\n1 2\n255\n") + "\x7F\x80");
    std::optional<ImagePixels> grey = host.loadImagePixels(toDataPath(U"grey.pgm"));
    ASSERT_TRUE(grey.has_value());
    EXPECT_EQ(grey->depth, 1);
    EXPECT_EQ(grey->height, 2);

    EXPECT_FALSE(host.loadImagePixels(toDataPath(U"missing.png")).has_value());
    writeFile(dataFile("junk.png"), "not a picture");
    EXPECT_FALSE(host.loadImagePixels(toDataPath(U"junk.png")).has_value());
}

namespace {

// A RIFF WAVE file of 16-bit mono PCM at 8000 Hz holding `frames` samples.
std::string wavFile(int frames) {
    auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    std::string data(size_t(frames) * 2, '\0');
    for (int i = 0; i < frames; ++i) data[size_t(i) * 2 + 1] = char(i * 16);
    return "RIFF" + u32(uint32_t(36 + data.size())) + "WAVE" + "fmt " + u32(16) + u16(1) + u16(1) +
           u32(8000) + u32(16000) + u16(2) + u16(16) + "data" + u32(uint32_t(data.size())) + data;
}

}  // namespace

TEST_F(DataFolderTest, SoundsDecodeByTheirFileNameEnding) {
    writeFile(dataFile("tone.WAV"), wavFile(6));
    std::optional<DecodedSound> wav = host.loadAudioSamples(toDataPath(U"tone.WAV"));
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->length, 6);
    EXPECT_EQ(wav->channels, 1);
    EXPECT_EQ(wav->format, 2);
    EXPECT_EQ(wav->hertz, 8000);

    std::string ogg = dataFile("tone.ogg");
    std::string make = "sox -q -n -r 22050 -c 1 '" + ogg + "' synth 0.1 sine 440 2>/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0) << "sox could not write an OGG file";
    std::optional<DecodedSound> vorbis = host.loadAudioSamples(toDataPath(U"tone.ogg"));
    ASSERT_TRUE(vorbis.has_value());
    EXPECT_EQ(vorbis->hertz, 22050);
    EXPECT_EQ(vorbis->channels, 1);
    EXPECT_GT(vorbis->length, 2000);

    // The same WAV bytes under another ending are not a sound; missing files neither.
    writeFile(dataFile("tone.raw"), wavFile(6));
    EXPECT_FALSE(host.loadAudioSamples(toDataPath(U"tone.raw")).has_value());
    EXPECT_FALSE(host.loadAudioSamples(toDataPath(U"missing.wav")).has_value());
}

TEST_F(DataFolderTest, UrlsReachTheOpenerAsOneArgumentWithoutAShell) {
    // A stand-in opener that records what it was given.
    std::string bin = dir.path() + "/bin";
    fs::create_directories(bin);
    writeFile(bin + "/xdg-open",
              "#!/bin/sh\nprintf '%s' \"$#\" > \"" + dir.path() + "/argc\"\n"
              "printf '%s' \"$1\" > \"" + dir.path() + "/arg\"\n");
    fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
    std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    ScopedWorkingFolder cwd(dir.path());

    String url = U"https://example.org/a?b=1&c=\"2\"; touch hacked; echo \"";
    host.openUrl(url);
    setenv("PATH", oldPath.c_str(), 1);

    EXPECT_EQ(readFile(dir.path() + "/argc"), "1");
    EXPECT_EQ(readFile(dir.path() + "/arg"), narrow(url));
    EXPECT_FALSE(fs::exists(dir.path() + "/hacked"));
}

// An environment variable set for the life of the object, then as it was.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedVariable() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TEST(UserFolders, TheDataFolderFollowsXdgDataHomeOrTheHomeFolder) {
    ScopedVariable home("HOME", "/home/ann");
    {
        ScopedVariable data("XDG_DATA_HOME", "/data/ann");
        EXPECT_EQ(userDataFolder("tamo-tracker"), "/data/ann/tamo-tracker");
    }
    for (const char* unusable : {(const char*)nullptr, "", "relative/share"}) {
        ScopedVariable data("XDG_DATA_HOME", unusable);
        EXPECT_EQ(userDataFolder("tamo-tracker"), "/home/ann/.local/share/tamo-tracker");
    }
}

TEST(UserFolders, FoldersAreMadeWithTheirParentsAndListedWithKindAndTime) {
    TempDir dir;
    const std::string songs = dir.file("share/tamo-tracker/songs");
    ASSERT_TRUE(makeFolders(songs));
    EXPECT_TRUE(makeFolders(songs)) << "a folder that is there already";
    writeFile(songs + "/old", "1");
    writeFile(songs + "/new", "2");
    fs::create_directory(songs + "/backup");
    fs::last_write_time(songs + "/old", fs::last_write_time(songs + "/new") - std::chrono::hours(1));
    EXPECT_FALSE(makeFolders(songs + "/old/x")) << "a file is in the way";
    EXPECT_TRUE(isFile(songs + "/old"));
    EXPECT_FALSE(isFile(songs + "/backup"));

    std::vector<FolderEntry> entries = folderEntries(songs);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "backup");
    EXPECT_TRUE(entries[0].folder);
    EXPECT_EQ(entries[1].name, "new");
    EXPECT_FALSE(entries[1].folder);
    EXPECT_EQ(entries[1].modified - entries[2].modified, 3600ll * 1000000000);
    EXPECT_TRUE(folderEntries(dir.file("missing")).empty());
}

// The settings file: where it lives, what a missing or damaged one gives, and that a
// change writes it whole (a damaged one is replaced by it).
TEST(SettingsFile, MissingGivesDefaultsDamagedIsReportedOnceAndReplacedAtTheNextChange) {
    TempDir dir;
    const char* config = getenv("XDG_CONFIG_HOME");
    std::string saved = config ? config : "";
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    std::string path = Settings::userPath();
    EXPECT_EQ(path, dir.path() + "/tamo-tracker/settings");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(Settings::userPath(), std::string(getenv("HOME")) + "/.config/tamo-tracker/settings");
    if (config) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");

    auto loaded = [&](std::string* errors) {
        Settings s(path);
        ::testing::internal::CaptureStderr();
        s.load();
        *errors = ::testing::internal::GetCapturedStderr();
        return s;
    };
    std::string errors;
    Settings fresh = loaded(&errors);
    EXPECT_EQ(fresh.value("LAYOUT"), "");
    EXPECT_EQ(errors, "") << "a missing file is no fault";
    ASSERT_TRUE(fresh.set("LAYOUT", "ANY")) << "the folder is made";
    ASSERT_TRUE(fresh.set("ZOOM", "2"));
    ASSERT_TRUE(fresh.set("LAYOUT", "US"));
    EXPECT_EQ(readFile(path), "LAYOUT US\nZOOM 2\n");
    EXPECT_EQ(loaded(&errors).value("ZOOM"), "2");

    std::vector<std::string> bad = {"LAYOUT US\nZOOM\n", "LAYOUT US\nLAYOUT DE\n",
                                    "layout US\n", std::string(5000, 'A') + " 1\n"};
    for (const std::string& text : bad) {
        writeFile(path, text);
        Settings damaged = loaded(&errors);
        EXPECT_EQ(damaged.value("LAYOUT"), "") << text;
        EXPECT_EQ(errors, path + ": damaged, the settings are back to their defaults\n");
    }
    Settings damaged = loaded(&errors);
    ::testing::internal::CaptureStderr();
    damaged.reject();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "one line, not two";
    ASSERT_TRUE(damaged.set("ZOOM", "3"));
    EXPECT_EQ(readFile(path), "ZOOM 3\n");

    writeFile(path, "LAYOUT XX\n");
    Settings unusable = loaded(&errors);
    EXPECT_EQ(errors, "");
    ::testing::internal::CaptureStderr();
    unusable.reject();   // what the application does with a value it cannot use
    EXPECT_NE(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(unusable.value("LAYOUT"), "");
    ASSERT_TRUE(unusable.set("LAYOUT", "DE")) << "an unchanged default still replaces it";
    EXPECT_EQ(readFile(path), "LAYOUT DE\n");
}
