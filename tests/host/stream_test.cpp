// Data buffers and file streams on real files in a temporary data folder.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "host/game.h"
#include "host/savefile.h"
#include "host/stream.h"
#include "support/files.h"
#include "support/xvfb.h"

namespace fs = std::filesystem;

namespace {

std::string bytesOf(const VXDataBuffer& b) {
    return std::string(reinterpret_cast<const char*>(b.data), size_t(b.length));
}

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.path() + "/data");
        host.setDataRoot(widen(dir.path()));
    }
    std::string file(const std::string& name) const { return dir.path() + "/data/" + name; }
    static String path(const char* name) { return U"vantorix://data/" + widen(name); }
    // The bytes a c_FileStream writes for `text`.
    std::string written(const String& text) {
        auto out = c_FileStream::open(path("w.txt"), U"w");
        EXPECT_NE(out, nullptr);
        if (!out) return std::string();
        out->writeString(text);
        out->close();
        return readFile(file("w.txt"));
    }

    TempDir dir;
    VXGlfwGame host;
};

// A stream that takes `perWrite` bytes per call (0: never any).
class TrickleStream : public c_Stream {
public:
    explicit TrickleStream(int perWrite) : perWrite_(perWrite) {}
    int write(c_DataBuffer* buffer, int offset, int count) override {
        int n = std::min(count, perWrite_);
        received.append(reinterpret_cast<const char*>(buffer->data) + offset, size_t(n));
        ++calls;
        return n;
    }
    void close() override {}
    std::string received;
    int calls = 0;

private:
    int perWrite_;
};

// Death tests here re-run the test binary, so no other thread's state is forked.
class ThreadsafeDeathTests {
public:
    ThreadsafeDeathTests() : previous_(GTEST_FLAG_GET(death_test_style)) {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    ~ThreadsafeDeathTests() { GTEST_FLAG_SET(death_test_style, previous_); }

private:
    std::string previous_;
};

// Runs a runtime error in the death-test child with its report on standard error and
// no debugger on standard input.
void quietDebugger() {
    if (!std::freopen("/dev/null", "r", stdin)) std::abort();
    dup2(2, 1);
}

}  // namespace

TEST_F(StreamTest, WriteModeTruncatesAnExistingFile) {
    writeFile(file("old"), "0123456789");
    auto s = openFileStream(path("old"), U"w");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->length(), 0);
    EXPECT_EQ(s->position(), 0);
    EXPECT_EQ(s->eof(), 1);
    s->close();
    EXPECT_EQ(fs::file_size(file("old")), 0u);
}

TEST_F(StreamTest, UpdateModeCreatesMissingFilesAndKeepsExistingOnes) {
    auto created = openFileStream(path("new"), U"u");
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->length(), 0);
    EXPECT_TRUE(fs::exists(file("new")));

    writeFile(file("kept"), "abcdef");
    auto s = openFileStream(path("kept"), U"u");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->length(), 6);
    c_DataBuffer b;
    b.create(3);
    EXPECT_EQ(s->read(&b, 0, 3), 3);
    EXPECT_EQ(bytesOf(b), "abc");
    EXPECT_EQ(s->position(), 3);
    b.pokeString(0, U"XY", U"ascii");
    EXPECT_EQ(s->write(&b, 0, 2), 2);    // overwrites in place after a read
    EXPECT_EQ(s->position(), 5);
    EXPECT_EQ(s->length(), 6);
    s->close();
    EXPECT_EQ(readFile(file("kept")), "abcXYf");
}

TEST_F(StreamTest, OpeningFailsForMissingFilesUnknownModesAndOtherSchemes) {
    EXPECT_EQ(openFileStream(path("missing"), U"r"), nullptr);
    EXPECT_FALSE(fs::exists(file("missing")));
    writeFile(file("here"), "x");
    EXPECT_EQ(openFileStream(path("here"), U"rw"), nullptr);
    EXPECT_EQ(openFileStream(path("here"), U"wb"), nullptr);
    EXPECT_EQ(openFileStream(U"vantorix://other/here", U"r"), nullptr);
    EXPECT_EQ(c_FileStream::open(path("missing"), U"r"), nullptr);
    EXPECT_EQ(openFileStream(path("nofolder/x"), U"w"), nullptr);

    VXFileStream s;
    EXPECT_TRUE(s.open(path("here"), U"r"));
    EXPECT_FALSE(s.open(path("here"), U"r"));    // already open
}

TEST_F(StreamTest, AppendModeWritesAfterTheEnd) {
    writeFile(file("log"), "0123456789");
    auto s = openFileStream(path("log"), U"a");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->position(), 10);
    EXPECT_EQ(s->length(), 10);
    c_DataBuffer b;
    b.create(5)->pokeString(0, U"abcde", U"ascii");
    EXPECT_EQ(s->write(&b, 0, 5), 5);
    EXPECT_EQ(s->position(), 15);
    EXPECT_EQ(s->length(), 15);
    s->close();
    EXPECT_EQ(readFile(file("log")), "0123456789abcde");
}

TEST_F(StreamTest, ReadSeekAndEndOfFileFollowThePosition) {
    writeFile(file("r"), "hello world");
    auto s = openFileStream(path("r"), U"r");
    ASSERT_NE(s, nullptr);
    c_DataBuffer b;
    b.create(20);
    EXPECT_EQ(s->seek(6), 6);
    EXPECT_EQ(s->eof(), 0);
    EXPECT_EQ(s->read(&b, 2, 20), 5);     // clipped to the 18 bytes after offset 2, then the file's end
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data) + 2, 5), "world");
    EXPECT_EQ(s->eof(), 1);
    EXPECT_EQ(s->read(&b, 0, 4), 0);
    EXPECT_EQ(s->seek(0), 0);
    EXPECT_EQ(s->read(&b, 0, 5), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data), 5), "hello");
}

TEST_F(StreamTest, ClosedStreamsDoNothing) {
    writeFile(file("c"), "abc");
    auto s = openFileStream(path("c"), U"u");
    ASSERT_NE(s, nullptr);
    s->close();
    s->close();
    c_DataBuffer b;
    b.create(3);
    EXPECT_EQ(s->eof(), -1);
    EXPECT_EQ(s->read(&b, 0, 3), 0);
    EXPECT_EQ(s->write(&b, 0, 3), 0);
    EXPECT_EQ(s->seek(2), 0);
    EXPECT_EQ(s->length(), 0);
    EXPECT_EQ(s->position(), 0);

    auto fileStream = c_FileStream::open(path("c"), U"u");
    ASSERT_NE(fileStream, nullptr);
    fileStream->close();
    EXPECT_EQ(fileStream->stream, nullptr);
    EXPECT_EQ(fileStream->write(&b, 0, 3), 0);
    fileStream->close();
    EXPECT_EQ(readFile(file("c")), "abc");
}

TEST_F(StreamTest, WriteStringWritesUtf8OfTheLow16Bits) {
    EXPECT_EQ(written(U"\u00E9"), "\xC3\xA9");
    EXPECT_EQ(written(U"\u20AC"), "\xE2\x82\xAC");
    EXPECT_EQ(written(U"A\u00FF\u0100z"), "A\xC3\xBF\xC4\x80z");
    EXPECT_EQ(written(String(1, U'\0')), std::string(1, '\0'));
    EXPECT_EQ(written(U"\U0001F3B5"), "\xEF\x8E\xB5");     // U+F3B5
    EXPECT_EQ(written(U""), "");
    // A long text goes out whole.
    String many(5000, U'\u00E4');
    EXPECT_EQ(written(many).size(), 10000u);
}

TEST_F(StreamTest, PokeStringCutAtTheBufferEndReportsTheFullLength) {
    c_DataBuffer b;
    b.create(4);
    b.pokeBytes(0, {0x11, 0x22, 0x33, 0x44}, 0, 4);
    EXPECT_EQ(b.pokeString(2, U"\u20AC", U"utf8"), 3);
    EXPECT_EQ(bytesOf(b), "\x11\x22\xE2\x82");
    EXPECT_EQ(b.pokeString(0, U"", U"utf8"), 0);
    EXPECT_EQ(b.pokeString(1, U"\u0141bcdef", U"ascii"), 6);
    EXPECT_EQ(bytesOf(b), "\x11\x41" "bc");
    EXPECT_EQ(b.pokeString(9, U"far", U"utf8"), 3);     // nothing fits beyond the end
    EXPECT_EQ(bytesOf(b), "\x11\x41" "bc");
}

TEST_F(StreamTest, PokeBytesNarrowsAndStaysInsideBothRanges) {
    c_DataBuffer b;
    b.create(4);
    b.pokeBytes(0, {0, 0, 0, 0}, 0, 4);
    b.pokeBytes(1, {0x1FF, -1, 0x42, 7, 8}, 0, 10);
    EXPECT_EQ(bytesOf(b), std::string("\0\xFF\xFF\x42", 4));
    b.pokeBytes(3, {1, 2, 3}, 2, 5);
    EXPECT_EQ(bytesOf(b), std::string("\0\xFF\xFF\x03", 4));
    b.pokeBytes(-1, {9}, 0, 1);
    b.pokeBytes(0, {9}, 5, 1);
    EXPECT_EQ(bytesOf(b), std::string("\0\xFF\xFF\x03", 4));
}

TEST_F(StreamTest, BuffersRefuseToBeFilledTwice) {
    VXDataBuffer b;
    EXPECT_TRUE(b.allocate(8));
    EXPECT_EQ(b.length, 8);
    EXPECT_FALSE(b.allocate(4));
    EXPECT_FALSE(b.loadFromPath(path("x")));
    b.discard();
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.length, 0);

    writeFile(file("x"), "payload");
    EXPECT_TRUE(b.loadFromPath(path("x")));
    EXPECT_EQ(bytesOf(b), "payload");
    b.discard();
    EXPECT_FALSE(b.loadFromPath(path("missing")));
    uint8_t* memory = static_cast<uint8_t*>(std::malloc(3));
    EXPECT_TRUE(b.allocate(3, memory));
    EXPECT_EQ(b.data, memory);
}

TEST(StreamWrites, AWriteWithoutProgressThrowsNamingTheStream) {
    c_DataBuffer b;
    b.create(4)->pokeString(0, U"data", U"ascii");
    TrickleStream stuck(0);
    try {
        stuck.writeAll(&b, 0, 4);
        FAIL() << "no error thrown";
    } catch (const c_StreamWriteError& e) {
        EXPECT_EQ(e.stream, &stuck);
    }
    EXPECT_EQ(stuck.calls, 1);

    TrickleStream slow(1);
    slow.writeAll(&b, 1, 3);
    EXPECT_EQ(slow.received, "ata");
    EXPECT_EQ(slow.calls, 3);
    TrickleStream idle(0);
    idle.writeAll(&b, 0, 0);
    EXPECT_EQ(idle.calls, 0);
}

TEST_F(StreamTest, AFullDeviceFailsTheWriteItself) {
    auto full = c_FileStream::open(U"/dev/full", U"w");
    ASSERT_NE(full, nullptr);
    EXPECT_THROW(full->writeString(U"this cannot be stored"), c_StreamWriteError);
    full->close();
}

TEST_F(StreamTest, CreateOnAMissingFileIsARuntimeError) {
    ThreadsafeDeathTests style;
    EXPECT_EXIT((quietDebugger(), c_FileStream::create(path("none/x"), U"w")),
                ::testing::ExitedWithCode(255), "Vantorix Runtime Error : Failed to open stream");
    EXPECT_NE(c_FileStream::create(path("made"), U"w"), nullptr);
}

TEST(BufferErrors, MisuseEndsTheProgramWithAReport) {
    ThreadsafeDeathTests style;
    c_DataBuffer b;
    b.create(2);
    EXPECT_EXIT((quietDebugger(), b.create(2)), ::testing::ExitedWithCode(255),
                "Vantorix Runtime Error : Allocate DataBuffer failed");
    EXPECT_EXIT((quietDebugger(), b.pokeString(0, U"x", U"utf16")), ::testing::ExitedWithCode(255),
                "Vantorix Runtime Error : Invalid string encoding:utf16");
}

// When the staged backup cannot be moved over the older one, the version the save
// replaced is not thrown away: it stays staged beside the backup.
TEST_F(StreamTest, AReplacedVersionWhoseBackupCannotBeMovedIntoPlaceStaysOnDisk) {
    writeFile(file("song"), "first");
    ASSERT_TRUE(replaceFile(file("song"), "second", file("backup/song")).saved);
    SaveSystemCalls real = saveSystemCalls();
    saveSystemCalls().rename = [](const char* from, const char* to) {
        if (std::string(to).find("/backup/") != std::string::npos) return errno = EIO, -1;
        return ::rename(from, to);
    };
    SaveResult result = replaceFile(file("song"), "third", file("backup/song"));
    saveSystemCalls() = real;
    EXPECT_TRUE(result.saved);
    EXPECT_EQ(result.backup, BackupResult::Failed);
    EXPECT_EQ(readFile(file("song")), "third");
    EXPECT_EQ(readFile(file("backup/song")), "first");
    EXPECT_EQ(readFile(file("backup/song~saving")), "second");
}

// Older files move along a row of names and the oldest drops out; a new version of a
// file has another stamp.
TEST_F(StreamTest, FilesMoveAlongARowOfNamesAndStampsTellVersionsApart) {
    const std::vector<std::string> row{file("a"), file("a.1"), file("a.2")};
    writeFile(file("a"), "new");
    writeFile(file("a.1"), "old");
    writeFile(file("a.2"), "oldest");
    std::optional<FileStamp> before = stampOf(file("a"));
    ASSERT_TRUE(before.has_value());
    EXPECT_TRUE(moveAlong(row));
    EXPECT_FALSE(fs::exists(file("a")));
    EXPECT_EQ(readFile(file("a.1")), "new");
    EXPECT_EQ(readFile(file("a.2")), "old");
    EXPECT_EQ(stampOf(file("a.1")), before) << "a move keeps the file's stamp";
    ASSERT_TRUE(replaceFile(file("a.1"), "newer").saved);
    EXPECT_NE(stampOf(file("a.1")), before);
    EXPECT_FALSE(stampOf(file("a")).has_value());
    EXPECT_TRUE(moveAlong(row)) << "a missing first name is already free";
    EXPECT_EQ(readFile(file("a.2")), "newer");
}
