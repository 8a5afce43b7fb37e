// Song files: the TAM1 text, and SAVE and LOAD of the application on real files in a
// temporary data folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/game.h"
#include "support/files.h"
#include "support/xvfb.h"
#include "tracker/app/app.h"
#include "tracker/core/song.h"
#include "tracker/core/songfile.h"

namespace fs = std::filesystem;

namespace {

Song newSong() {
    Song s;
    s.clear();
    return s;
}

void expectSameSong(const Song& a, const Song& b) {
    for (int k = 0; k < kColumns; ++k) EXPECT_TRUE(a.trackColumns[k] == b.trackColumns[k]) << "column " << k;
    EXPECT_EQ(a.orderList, b.orderList);
    EXPECT_EQ(a.instrumentTable, b.instrumentTable);
    EXPECT_EQ(a.instrumentDescriptions, b.instrumentDescriptions);
    EXPECT_EQ(a.songLength, b.songLength);
    EXPECT_EQ(a.speed, b.speed);
}

// A song that uses every cell character the editor writes, numbers of 128 and more,
// and a description with umlauts.
Song richSong() {
    Song s = newSong();
    const String notes = U"ysxdcvgbhnjmq2w3er5t6z7ui9o0p.<+#-";
    for (int i = 0; i < kColumnLength; ++i) {
        s.trackColumns[0].set(i, notes[i % notes.size()]);
        s.trackColumns[5].set(i, U"0123456789abcdefABCDEF"[i % 22]);
        s.trackColumns[9].set(i, instrumentDigit(1 + i % 15));
        s.trackColumns[14].set(i, char32_t(U'0' + i % 4));
    }
    s.orderList[0] = 1;
    s.orderList[3] = 200;
    s.orderList[7] = 255;   // P = 256
    s.instrumentTable[2 * 8 + 0] = 3;
    s.instrumentTable[2 * 8 + 4] = 255;   // ENV 255
    s.instrumentTable[248] = 127;
    s.instrumentDescriptions[1] = U"\u00E4\u00F6\u00FC bass";
    s.instrumentDescriptions[31] = U"last one (x)";
    s.songLength = 99 * 32;
    s.speed = 16;
    return s;
}

// Runs `body` in a child process, as user `uid` when it is not negative; the child's
// exit status (-1 when it did not end normally).
int runAs(int uid, const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
        if (uid >= 0 && (setgid(gid_t(uid)) != 0 || setuid(uid_t(uid)) != 0)) _exit(3);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SongFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(songs());
        host.setDataRoot(widen(dir.path()));
        app = std::make_unique<c_SoundEngine>();
    }
    std::string songs() const { return dir.path() + "/data/songs"; }
    std::string song(const std::string& name) const { return songs() + "/" + name; }
    Status load(const String& name) {
        app->fileName = name;
        return app->loadSong();
    }

    TempDir dir;
    VXGlfwGame host;
    std::unique_ptr<c_SoundEngine> app;
};

}  // namespace

TEST(SongText, ANewSongIsOnePatternOf1675Characters) {
    String text = writeSong(newSong());
    ASSERT_EQ(text.size(), 1675u);
    EXPECT_EQ(text.substr(0, 4), U"TAM1");
    EXPECT_EQ(int(text[4]), 1);
    EXPECT_EQ(int(text[5]), 4);
    EXPECT_EQ(int(text[6]), 1);
    EXPECT_EQ(text.substr(7, 32), String(32, U'.'));
    EXPECT_EQ(text.substr(7 + 4 * 32, 12 * 32), String(12 * 32, U'0'));
    EXPECT_EQ(text.substr(1675 - 31 * 21), String(31 * 21, U' '));
}

TEST(SongText, DescriptionsAreFixedFieldsOf21Characters) {
    Song s = newSong();
    s.instrumentDescriptions[1] = U"lead!";
    s.instrumentDescriptions[3] = U"exactly twenty-one ch";
    s.instrumentDescriptions[4] = U"a description far too long for the field";
    String text = writeSong(s);
    const size_t start = 512 + 512;
    EXPECT_EQ(text.substr(start, 21), U"lead!" + String(16, U' '));
    EXPECT_EQ(text.substr(start + 21, 21), String(21, U' '));
    EXPECT_EQ(text.substr(start + 42, 21), U"exactly twenty-one ch");
    EXPECT_EQ(text.substr(start + 63, 21), U"a description far too");
    EXPECT_EQ(text.size(), 1675u);
}

TEST(SongText, ReadingBackGivesTheSameSong) {
    Song s = richSong();
    s.trackColumns[2].set(40, U'\u266a');   // only a hand-edited file holds cells this wide
    s.trackColumns[12].set(8191, U'\U0001F3B5');
    String text = writeSong(s);
    EXPECT_EQ(text.size(), size_t(1163 + 512 * 256));
    Song loaded = newSong();
    ASSERT_TRUE(readSong(text, loaded));
    for (int k = 1; k <= 31; ++k) s.instrumentDescriptions[k].resize(21, U' ');   // stored padded
    expectSameSong(loaded, s);
}

// The fingerprint that tells unsaved work: any one field changed changes it.
TEST(SongText, TheFingerprintSeesAChangeInEveryPartOfTheSong) {
    const Song base = richSong();
    const uint64_t digest = songDigest(base);
    EXPECT_EQ(songDigest(richSong()), digest);
    Song storedInFull = base;   // the same cells, every one of them stored
    for (Column& column : storedInFull.trackColumns) column = Column(column.text());
    EXPECT_EQ(songDigest(storedInFull), digest);
    std::vector<std::function<void(Song&)>> edits = {
        [](Song& s) { s.trackColumns[15].set(8191, U'x'); },
        [](Song& s) { s.orderList[255] ^= 1; },
        [](Song& s) { s.instrumentTable[100] += 1; },
        [](Song& s) { s.instrumentDescriptions[31] += U' '; },
        [](Song& s) { s.songLength += 32; },
        [](Song& s) { s.speed += 1; },
    };
    for (size_t i = 0; i < edits.size(); ++i) {
        Song changed = base;
        edits[i](changed);
        EXPECT_NE(songDigest(changed), digest) << "edit " << i;
    }
}

TEST(SongText, FewerPatternsAreFilledWithEmptyCells) {
    Song s = newSong();
    s.orderList[0] = 2;   // P = 3
    s.trackColumns[1].set(95, U'q');
    s.trackColumns[1].set(96, U'w');   // pattern 3: not stored
    s.trackColumns[6].set(10, U'F');
    Song loaded = richSong();
    ASSERT_TRUE(readSong(writeSong(s), loaded));
    EXPECT_EQ(loaded.trackColumns[1][95], U'q');
    EXPECT_EQ(loaded.trackColumns[1][96], U'.');
    EXPECT_EQ(loaded.trackColumns[6][10], U'F');
    for (int k = 0; k < kColumns; ++k) {
        ASSERT_EQ(loaded.trackColumns[k].size(), size_t(kColumnLength));
        EXPECT_EQ(loaded.trackColumns[k].text(96), String(kColumnLength - 96, emptyCell(k)));
    }
}

TEST(SongText, SpeedZeroLoadsAsFiveAndHighEntriesAreKept) {
    String text = writeSong(newSong());
    text[5] = 0;
    Song loaded = newSong();
    for (int i = 249; i < 255; ++i) loaded.instrumentTable[i] = i;
    loaded.instrumentDescriptions[0] = U"slot zero";
    ASSERT_TRUE(readSong(text, loaded));
    EXPECT_EQ(loaded.speed, 5);
    for (int i = 249; i < 255; ++i) EXPECT_EQ(loaded.instrumentTable[i], i);
    EXPECT_EQ(loaded.instrumentDescriptions[0], U"slot zero");
}

TEST(SongText, DamagedTextsAreRefusedAndTheSongStaysAsItWas) {
    const Song before = richSong();
    const String good = writeSong(newSong());
    String noPatterns = good;
    noPatterns[6] = 0;
    String tooManyPatterns = U"TAM1" + String(size_t(songFileLength(257)) - 4, U'0');
    tooManyPatterns[4] = 1;
    tooManyPatterns[5] = 4;
    tooManyPatterns[6] = 257;
    String claimsTwo = good;
    claimsTwo[6] = 2;   // 512 characters short of two patterns
    String otherMagic = good;
    otherMagic[3] = U'2';
    for (const String& bad : {String(), String(U"TAM1"), good.substr(0, 7), good.substr(0, good.size() - 1),
                              noPatterns, tooManyPatterns, claimsTwo, otherMagic, U"RIFF" + good.substr(4)}) {
        Song song = before;
        EXPECT_FALSE(readSong(bad, song)) << "length " << bad.size();
        expectSameSong(song, before);
    }
    // Trailing text after the last field does no harm.
    Song song = before;
    EXPECT_TRUE(readSong(good + U"\n", song));
}

TEST(SongNames, NamesThatLeaveTheSongsFolderAreRecognised) {
    for (const char32_t* ok : {U"tune", U"my tune.txt", U"folder/tune", U"a..b", U"..x", U"./tune"})
        EXPECT_TRUE(isSongName(ok)) << narrow(ok);
    for (const char32_t* bad : {U"", U"/etc/passwd", U"..", U"../glimfont.png", U"a/../../x", U"x/..",
                                U"\u012E\u012E/x", U"\u012Fetc"})
        EXPECT_FALSE(isSongName(bad)) << narrow(bad);
    EXPECT_FALSE(isSongName(String(U"..\0x", 4)));   // the file system would stop at the NUL
}

TEST(SongNames, ABackslashAfterSongsCutsTheName) {
    EXPECT_EQ(cutSongName(U"x\\songs\\tune"), U"\\tune");
    EXPECT_EQ(cutSongName(U"songs\\a\\songs\\b"), U"\\b");
    EXPECT_EQ(cutSongName(U"songs\\a\\b"), U"\\a\\b");
    EXPECT_EQ(cutSongName(U"a\\b"), U"a\\b");
    EXPECT_EQ(cutSongName(U"tune"), U"tune");
    EXPECT_EQ(cutSongName(U"\\songs"), U"\\songs");
    EXPECT_EQ(cutSongName(U""), U"");
}

TEST_F(SongFileTest, ANewSongSavesAs1675BytesWithItsHeader) {
    EXPECT_EQ(app->saveSong(U"fresh"), Status::FileSaved);
    std::string bytes = readFile(song("fresh"));
    ASSERT_EQ(bytes.size(), 1675u);
    EXPECT_EQ(bytes.substr(0, 7), std::string("TAM1\x01\x04\x01"));
    EXPECT_EQ(fs::directory_iterator(songs())->path().filename(), "fresh");   // no temporary left
}

TEST_F(SongFileTest, SavingAndLoadingRoundTripsByteForByte) {
    app->song = richSong();
    const Song saved = app->song;
    ASSERT_EQ(app->saveSong(U"full"), Status::FileSaved);
    std::string bytes = readFile(song("full"));
    EXPECT_EQ(bytes.substr(4, 4), "\x63\x10\xC4\x80");          // length 99, speed 16, P = 256
    const size_t order = 8 + 16 * 8192;                          // the cells are all ASCII
    EXPECT_EQ(bytes.substr(order, 10), std::string("\x01\x00\x00\xC3\x88\x00\x00\x00\xC3\xBF", 10));
    const size_t instruments = order + 256 + 2;                  // two entries took two bytes
    EXPECT_EQ(bytes.substr(instruments + 16, 6), std::string("\x03\x00\x00\x00\xC3\xBF", 6));
    EXPECT_NE(bytes.find("\xC3\xA4\xC3\xB6\xC3\xBC bass"), std::string::npos);

    app.reset();   // a fresh application, as after a restart
    app = std::make_unique<c_SoundEngine>();
    app->fileName = U"full";
    EXPECT_EQ(app->loadSong(), Status::FileLoaded);
    EXPECT_EQ(app->song.orderList, saved.orderList);
    EXPECT_EQ(app->song.orderList[3], 200);
    EXPECT_EQ(app->song.instrumentTable[20], 255);
    EXPECT_EQ(app->song.instrumentDescriptions[1], U"\u00E4\u00F6\u00FC bass" + String(13, U' '));
    EXPECT_TRUE(app->song.trackColumns[0] == saved.trackColumns[0]);
    EXPECT_EQ(app->song.songLength, 99 * 32);
    EXPECT_EQ(app->song.speed, 16);

    ASSERT_EQ(app->saveSong(U"again"), Status::FileSaved);
    EXPECT_TRUE(readFile(song("again")) == bytes);
}

TEST_F(SongFileTest, LoadFollowsTheBackslashNameCut) {
    app->song.speed = 9;
    ASSERT_EQ(app->saveSong(U"\\tune"), Status::FileSaved);
    app->song.speed = 4;
    EXPECT_EQ(load(U"x\\songs\\tune"), Status::FileLoaded);
    EXPECT_EQ(app->fileName, U"\\tune");
    EXPECT_EQ(app->song.speed, 9);
}

TEST_F(SongFileTest, MissingEmptyAndDamagedFilesAreNotLoaded) {
    app->song = richSong();
    const Song before = app->song;
    ASSERT_EQ(app->saveSong(U"good"), Status::FileSaved);
    std::string bytes = readFile(song("good"));
    writeFile(song("truncated"), bytes.substr(0, bytes.size() / 2));
    writeFile(song("short"), bytes.substr(0, bytes.size() - 1));
    writeFile(song("empty"), "");
    writeFile(song("header"), "TAM1\x01\x04");
    std::string oversized = bytes;
    oversized.replace(6, 2, "\xC4\x81");    // P = 257
    writeFile(song("oversized"), oversized);
    fs::create_directory(song("folder"));
    // Not songs, though a reader that does not look could take them for one: a WAV as
    // long as a song, the song after 600 KB of other text, a FIFO nobody writes to (a
    // read would wait for ever) and an endless device.
    writeFile(song("sound.wav"), "RIFF" + bytes.substr(4));
    writeFile(song("huge"), bytes + std::string(600000, ' '));
    ASSERT_EQ(mkfifo(song("pipe").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", song("zero"));
    for (const char32_t* name : {U"", U"missing", U"truncated", U"short", U"empty", U"header", U"oversized",
                                 U"folder", U"sound.wav", U"huge", U"pipe", U"zero"}) {
        EXPECT_EQ(load(name), Status::FileNotFound) << narrow(name);
        expectSameSong(app->song, before);
    }
    EXPECT_EQ(load(U"good"), Status::FileLoaded);
}

TEST_F(SongFileTest, AnEmptyNameAsksForOneAndWritesNothing) {
    EXPECT_EQ(app->saveSong(U""), Status::EnterName);
    EXPECT_TRUE(fs::is_empty(songs()));
}

TEST_F(SongFileTest, SavingWithoutASongsFolderFails) {
    const Song before = app->song;
    fs::remove_all(songs());
    EXPECT_EQ(app->saveSong(U"tune"), Status::SavingFailed);
    EXPECT_FALSE(fs::exists(songs()));
    writeFile(songs(), "a plain file where the folder should be");
    EXPECT_EQ(app->saveSong(U"tune"), Status::SavingFailed);
    EXPECT_EQ(readFile(songs()), "a plain file where the folder should be");
    expectSameSong(app->song, before);
}

TEST_F(SongFileTest, NamesOutsideTheSongsFolderAreRefused) {
    writeFile(dir.path() + "/data/glimfont.png", "picture");
    EXPECT_EQ(app->saveSong(U"../glimfont.png"), Status::SavingFailed);
    EXPECT_EQ(app->saveSong(U"\u012E\u012E/glimfont.png"), Status::SavingFailed);
    EXPECT_EQ(app->saveSong(widen(dir.path() + "/data/glimfont.png")), Status::SavingFailed);
    EXPECT_EQ(readFile(dir.path() + "/data/glimfont.png"), "picture");
    EXPECT_FALSE(fs::exists(dir.path() + "/data/glimfont.png~saving"));

    // A real song outside the folder is not loaded either.
    ASSERT_EQ(app->saveSong(U"outside"), Status::FileSaved);
    fs::rename(song("outside"), dir.path() + "/data/outside");
    EXPECT_EQ(load(U"../outside"), Status::FileNotFound);
    EXPECT_EQ(load(widen(dir.path() + "/data/outside")), Status::FileNotFound);
}

TEST_F(SongFileTest, AFullDiskKeepsTheSongItsBackupAndTheProgramGoesOn) {
    SmallFileSystem disk(songs(), 256);
    if (!disk.ok()) GTEST_SKIP() << disk.why();
    ASSERT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    const std::string first = readFile(song("tune"));
    app->song.speed = 7;
    ASSERT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    const std::string second = readFile(song("tune"));
    ASSERT_EQ(readFile(song("backup/tune")), first);

    // A song of 256 patterns (about 135 kB) no longer fits.
    ASSERT_GT(disk.fill("filler"), 0);
    app->song = richSong();
    const Song edited = app->song;
    EXPECT_EQ(app->saveSong(U"tune"), Status::SavingFailed);
    EXPECT_EQ(readFile(song("tune")), second);
    EXPECT_EQ(readFile(song("backup/tune")), first) << "the older version survives a failed save";
    EXPECT_FALSE(fs::exists(song("tune~saving")));
    EXPECT_FALSE(fs::exists(song("backup/tune~saving")));
    expectSameSong(app->song, edited);

    // The same for the playback hand-off, then with room again the next save works.
    EXPECT_EQ(app->saveSong(U"tmp.dat"), Status::SavingFailed);
    fs::remove(song("filler"));
    EXPECT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    EXPECT_EQ(readFile(song("tune")).size(), size_t(1163 + 512 * 256 + 7));   // 7 two-byte characters
    EXPECT_EQ(readFile(song("backup/tune")), second);
}

TEST_F(SongFileTest, AnInterruptedSavesTemporaryIsRemovedAndNeverWrittenThrough) {
    writeFile(song("tune~saving"), "half a song");
    ASSERT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    EXPECT_FALSE(fs::exists(song("tune~saving")));

    // A temporary name that leads elsewhere is removed, not followed.
    const std::string outside = dir.path() + "/outside";
    writeFile(outside, "not a song");
    fs::create_symlink(outside, song("tune~saving"));
    app->song.speed = 9;
    ASSERT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    EXPECT_EQ(readFile(outside), "not a song");
    EXPECT_FALSE(fs::exists(fs::symlink_status(song("tune~saving"))));
    EXPECT_FALSE(fs::is_symlink(song("tune")));
    EXPECT_EQ(readFile(song("tune"))[5], 9);
}

TEST_F(SongFileTest, ASaveThatCannotReplaceTheTargetLeavesNoTemporary) {
    fs::create_directory(song("busy"));
    fs::create_directory(song("busy") + "/inside");   // a non-empty folder cannot be replaced
    EXPECT_EQ(app->saveSong(U"busy"), Status::SavingFailed);
    EXPECT_TRUE(fs::is_directory(song("busy") + "/inside"));
    EXPECT_FALSE(fs::exists(song("busy~saving")));
}

TEST_F(SongFileTest, SavingOverASongKeepsItsPreviousVersionInTheBackupFolder) {
    writeFile(song("tune.bak"), "the user's own song named tune.bak");
    ASSERT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    EXPECT_FALSE(fs::exists(song("backup")));   // a new song has nothing to keep
    const std::string first = readFile(song("tune"));
    app->song.speed = 7;
    ASSERT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    EXPECT_EQ(readFile(song("backup/tune")), first);
    const std::string second = readFile(song("tune"));
    EXPECT_NE(second, first);
    app->song.speed = 9;
    ASSERT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    EXPECT_EQ(readFile(song("backup/tune")), second);   // one backup, the version just replaced
    EXPECT_EQ(readFile(song("tune.bak")), "the user's own song named tune.bak");

    // The backup loads back through the file name box.
    EXPECT_EQ(load(U"backup/tune"), Status::FileLoaded);
    EXPECT_EQ(app->song.speed, 7);

    // The names the tracker writes itself are refused: the next playback or rescue
    // copy would replace such a song without a backup.
    for (const char* name : {"tmp.dat", "autosave", "autosave.9"}) {
        EXPECT_EQ(app->saveSong(widen(name)), Status::SavingFailed) << name;
        EXPECT_FALSE(fs::exists(song(name))) << name;
    }
    EXPECT_EQ(app->saveSong(U"autosave.10"), Status::FileSaved) << "not a rescue copy's name";
}

TEST_F(SongFileTest, WithoutHardLinksTheBackupIsACopyAndWithoutAnyTheSaveGoesOn) {
    SaveSystemCalls real = saveSystemCalls();
    saveSystemCalls().link = [](const char*, const char*) { errno = EPERM; return -1; };
    ASSERT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    const std::string first = readFile(song("tune"));
    app->song.speed = 7;
    EXPECT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    EXPECT_EQ(readFile(song("backup/tune")), first);
    EXPECT_EQ(readFile(song("tune"))[5], 7);
    saveSystemCalls() = real;

    // No backup folder can be made: the save still happens and says so on one line.
    fs::remove_all(song("backup"));
    writeFile(song("backup"), "a plain file where the folder would be");
    app->song.speed = 8;
    testing::internal::CaptureStdout();
    EXPECT_EQ(app->saveSong(U"tune"), Status::NoBackupKept);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No backup kept of songs/tune\n");
    EXPECT_EQ(readFile(song("tune"))[5], 8);
}

TEST_F(SongFileTest, TheFileIsOnDiskBeforeTheRenameAndTheFolderAfter) {
    static std::vector<std::string>* steps;
    std::vector<std::string> seen;
    steps = &seen;
    SaveSystemCalls real = saveSystemCalls();
    saveSystemCalls().fsync = [](int fd) {
        char path[4096] = {};
        ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
        steps->push_back("fsync " + fs::path(std::string(path, size_t(std::max<ssize_t>(n, 0)))).filename().string());
        return ::fsync(fd);
    };
    saveSystemCalls().rename = [](const char* from, const char* to) {
        steps->push_back("rename " + fs::path(from).filename().string() + " " + fs::path(to).filename().string());
        return ::rename(from, to);
    };
    EXPECT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    saveSystemCalls() = real;
    EXPECT_EQ(seen, (std::vector<std::string>{"fsync tune~saving", "rename tune~saving tune", "fsync songs"}));
}

TEST_F(SongFileTest, ALinkedSongStaysALinkAndKeepsItsModeAndALockedOneIsRefused) {
    fs::create_directories(dir.path() + "/elsewhere");
    const std::string real = dir.path() + "/elsewhere/real";
    writeFile(real, "old");
    fs::permissions(real, fs::perms(0640));
    fs::create_symlink(real, song("linked"));
    ASSERT_EQ(app->saveSong(U"linked"), Status::FileSaved);
    EXPECT_TRUE(fs::is_symlink(song("linked")));
    EXPECT_EQ(readFile(real).substr(0, 4), "TAM1");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_EQ(readFile(song("backup/linked")), "old");

    // A song its owner made read-only. Root is not held back by permission bits, so
    // as root the song belongs to "nobody" and a child process saves as that user.
    writeFile(song("locked"), "theirs");
    fs::permissions(song("locked"), fs::perms(0444));
    if (geteuid() == 0) ASSERT_EQ(chown(song("locked").c_str(), 65534, 65534), 0);
    fs::permissions(songs(), fs::perms::all);   // anyone may create files beside it
    for (fs::path p = songs(); p != fs::path(dir.path()).parent_path(); p = p.parent_path())
        fs::permissions(p, fs::perms::others_exec, fs::perm_options::add);
    int answer = runAs(geteuid() == 0 ? 65534 : -1, [&] {
        return app->saveSong(U"locked") == Status::SavingFailed ? 0 : 1;
    });
    EXPECT_EQ(answer, 0) << "the locked song was saved over";
    EXPECT_EQ(readFile(song("locked")), "theirs");
    EXPECT_FALSE(fs::exists(song("locked~saving")));
}
