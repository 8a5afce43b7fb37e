// Listening to the player: songs played through the real audio channels on the
// loopback device, in process and through the tamo-render program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "host/game.h"
#include "support/xvfb.h"
#include "tracker/player.h"
#include "tracker/songfile.h"

namespace {

// A song of one pattern with instrument 1: WAV 4 (triangle and silence) and ENV `env`.
Song toneSong(int env = 1) {
    Song song;
    song.clear();
    song.param(1, 0) = 4;
    song.param(1, 4) = env;
    return song;
}

void note(Song& song, int channel, int row, char32_t n, char32_t volume, char32_t octave = U'2') {
    song.trackColumns[noteColumn(channel)][row] = n;
    song.trackColumns[volumeColumn(channel)][row] = volume;
    song.trackColumns[instrumentColumn(channel)][row] = U'1';
    song.trackColumns[octaveColumn(channel)][row] = octave;
}

// The real channels: a host whose data folder is the source tree's data/, and a
// loopback device at 44100 Hz.
class Listening : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<VXGlfwGame>();
        host->setDataRoot(widen(TAMO_SOURCE_DIR));
        device = std::make_unique<gxtkAudio>(AudioLoopback{}, kRenderHertz);
        ASSERT_TRUE(device->isOpen());
    }
    void TearDown() override {
        device.reset();
        host.reset();
    }

    // The left channel of one pass through `song`.
    std::vector<float> play(const Song& song, float speed, RenderSummary* summary = nullptr) {
        c_tamoPlay player;
        player.song = song;
        player.speed = speed;
        player.reloadSamples();
        for (auto& s : player.waveSamples) EXPECT_TRUE(s) << "a wave sample is missing";
        std::vector<float> left;
        RenderSummary done = playOnceThrough(
            player, *device,
            [&](const int16_t* frames, int count) {
                for (int i = 0; i < count; ++i) left.push_back(frames[2 * i]);
                return true;
            },
            50 * 60);
        if (summary) *summary = done;
        return left;
    }

    std::unique_ptr<VXGlfwGame> host;
    std::unique_ptr<gxtkAudio> device;
};

// Frequency from the rising zero crossings of samples [from, to), interpolated.
double frequency(const std::vector<float>& x, size_t from, size_t to) {
    double mean = 0;
    for (size_t i = from; i < to; ++i) mean += x[i];
    mean /= double(to - from);
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        double a = x[i - 1] - mean, b = x[i] - mean;
        if (a < 0 && b >= 0) {
            double t = double(i - 1) + (-a) / (b - a);
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * double(kRenderHertz) / (last - first);
}

// Frames where sound starts after at least `quiet` frames below `threshold`.
std::vector<size_t> onsets(const std::vector<float>& x, float threshold, size_t quiet) {
    std::vector<size_t> out;
    size_t silent = quiet;   // the start counts as after silence
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) < threshold) {
            ++silent;
            continue;
        }
        if (silent >= quiet) out.push_back(i);
        silent = 0;
    }
    return out;
}

TEST_F(Listening, ASustainedYAtOctave2SoundsC3AndQAnOctaveHigher) {
    Song low = toneSong();
    note(low, 1, 0, U'y', U'F');
    std::vector<float> a = play(low, 4);
    ASSERT_EQ(a.size(), size_t(32 * 4 * kFramesPerTick));
    EXPECT_NEAR(frequency(a, 22050, a.size()), 130.81, 130.81 * 0.005);

    Song high = toneSong();
    note(high, 1, 0, U'q', U'F');
    std::vector<float> b = play(high, 4);
    EXPECT_NEAR(frequency(b, 22050, b.size()), 261.63, 261.63 * 0.005);
}

TEST_F(Listening, RowsAtSpeed4Start80msApartFromTheFirstFrame) {
    // Volume 0.5 with ENV 1 sounds three ticks and is silent on the fourth.
    Song song = toneSong(1);
    for (int row = 0; row < 8; ++row) note(song, 1, row, U'y', U'4');
    std::vector<float> x = play(song, 4);
    std::vector<size_t> starts = onsets(x, 200, 400);
    ASSERT_GE(starts.size(), 8u);
    EXPECT_LT(starts[0], 44u) << "the render begins with the first row, not with silence";
    for (size_t i = 1; i < 8; ++i) {
        double ms = double(starts[i] - starts[i - 1]) * 1000.0 / kRenderHertz;
        EXPECT_NEAR(ms, 80.0, 0.5) << "row " << i;
    }
}

TEST_F(Listening, TheRenderEndsWherePlaybackReturnsToPositionZero) {
    Song song = toneSong();
    note(song, 1, 0, U'y', U'F');
    song.trackColumns[noteColumn(4)][5] = U'-';   // the pattern ends after row 5
    RenderSummary done;
    std::vector<float> x = play(song, 3, &done);
    EXPECT_TRUE(done.looped);
    EXPECT_EQ(done.rows, 6);
    EXPECT_EQ(x.size(), size_t(6 * 3 * kFramesPerTick));

    Song two = toneSong();
    two.songLength = 64;
    two.orderList[1] = 1;
    note(two, 1, 32, U'q', U'F');
    std::vector<float> y = play(two, 2, &done);
    EXPECT_EQ(done.rows, 64);
    EXPECT_EQ(y.size(), size_t(64 * 2 * kFramesPerTick));
    // The second position plays its own pattern: an octave up.
    EXPECT_NEAR(frequency(y, y.size() / 2 + 4410, y.size()), 261.63, 261.63 * 0.005);
}

// ---- the tamo-render program ----

struct RenderRun {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void spit(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
}

// Runs tamo-render with `args` (already quoted) in the folder `dir`, after the shell
// commands `before`.
RenderRun render(const TempDir& dir, const std::string& args, const std::string& before = "") {
    std::string program = std::string(TAMO_BINARY_DIR) + "/tamo-render";
    EXPECT_EQ(access(program.c_str(), X_OK), 0) << program << " is missing: build the tamo-render target";
    std::string command = "cd '" + dir.path() + "' && " + before + "'" + program + "' " + args + " >'" +
                          dir.path() + "/.stdout' 2>'" + dir.path() + "/.stderr'";
    RenderRun run;
    int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = slurp(dir.path() + "/.stdout");
    run.err = slurp(dir.path() + "/.stderr");
    std::filesystem::remove(dir.path() + "/.stdout");
    std::filesystem::remove(dir.path() + "/.stderr");
    return run;
}

std::vector<std::string> filesIn(const TempDir& dir) {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string songBytes() {
    Song song = toneSong();
    song.speed = 2;
    for (int row = 0; row < 32; row += 4) note(song, row % 8 ? 2 : 1, row, U'y', U'9');
    return encodeUtf8(writeSong(song));
}

uint32_t le32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

TEST(TamoRender, TwoRendersOfTheSameSongAreByteIdenticalWavFiles) {
    TempDir dir;
    spit(dir.file("tune.tam"), songBytes());
    RenderRun first = render(dir, "tune.tam one.wav");
    ASSERT_EQ(first.status, 0) << first.err;
    RenderRun second = render(dir, "'" + dir.file("tune.tam") + "' '" + dir.file("two.wav") + "'");
    ASSERT_EQ(second.status, 0) << second.err;
    std::string a = slurp(dir.file("one.wav")), b = slurp(dir.file("two.wav"));
    EXPECT_TRUE(a == b) << "renders differ";
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"one.wav", "tune.tam", "two.wav"}));

    // 44100 Hz, 16-bit stereo, one pattern of 32 rows at speed 2.
    ASSERT_GE(a.size(), 44u);
    EXPECT_EQ(a.substr(0, 4), "RIFF");
    EXPECT_EQ(a.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(a, 24), 44100u);
    EXPECT_EQ(le32(a, 32) & 0xffff, 4u);
    EXPECT_EQ(le32(a, 32) >> 16, 16u);
    EXPECT_EQ(le32(a, 40), uint32_t(32 * 2 * kFramesPerTick * 4));
    EXPECT_EQ(a.size(), 44u + le32(a, 40));
    EXPECT_NE(first.out.find("1.28 s of audio"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("real time"), std::string::npos) << first.out;
}

TEST(TamoRender, AMissingTruncatedOrForeignFileFailsClearlyAndLeavesNoWav) {
    TempDir dir;
    std::string song = songBytes();
    spit(dir.file("cut.tam"), song.substr(0, song.size() / 2));
    spit(dir.file("letter.txt"), std::string(3000, 'x') + "\nDear friend,\n");
    spit(dir.file("empty.tam"), "");
    struct Case {
        const char* args;
        const char* says;
    } cases[] = {
        {"absent.tam out.wav", "cannot read \"absent.tam\""},
        {"cut.tam out.wav", "not a complete song file"},
        {"letter.txt out.wav", "not a song file"},
        {"empty.tam out.wav", "not a song file"},
        {". out.wav", "folder"},
        {"cut.tam", "usage"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        RenderRun run = render(dir, c.args);
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"cut.tam", "empty.tam", "letter.txt"}));
    }
}

TEST(TamoRender, NeverWritesOverTheSongFile) {
    TempDir dir;
    std::string song = songBytes();
    spit(dir.file("tune.tam"), song);
    std::filesystem::create_symlink(dir.file("tune.tam"), dir.file("link.wav"));
    for (const char* args : {"tune.tam tune.tam", "tune.tam ./tune.tam", "tune.tam link.wav"}) {
        SCOPED_TRACE(args);
        RenderRun run = render(dir, args);
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.err.find("over the song file"), std::string::npos) << run.err;
        EXPECT_TRUE(slurp(dir.file("tune.tam")) == song);
    }
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"link.wav", "tune.tam"}));
}

TEST(TamoRender, AnUnusableDestinationFailsAndLeavesEverythingAsItWas) {
    TempDir dir;
    spit(dir.file("tune.tam"), songBytes());
    RenderRun run = render(dir, "tune.tam no/such/folder/out.wav");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("cannot create"), std::string::npos) << run.err;
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"tune.tam"}));
    // A write that fails half-way (here at a 64 KiB file size limit) removes the WAV.
    RenderRun full = render(dir, "tune.tam out.wav", "ulimit -f 64; ");
    EXPECT_NE(full.status, 0);
    EXPECT_NE(full.err.find("cannot write \"out.wav\": File too large"), std::string::npos) << full.err;
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"tune.tam"}));
    // A folder or a special file (here a pipe, like /dev/null a non-regular file) is
    // never replaced by the WAV.
    std::filesystem::create_directory(dir.file("folder.wav"));
    ASSERT_EQ(mkfifo(dir.file("pipe.wav").c_str(), 0600), 0);
    for (const char* target : {"folder.wav", "pipe.wav"}) {
        RenderRun refused = render(dir, std::string("tune.tam ") + target);
        EXPECT_NE(refused.status, 0) << target;
        EXPECT_NE(refused.err.find("not a regular file"), std::string::npos) << refused.err;
    }
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"folder.wav", "pipe.wav", "tune.tam"}));
    struct stat pipe;
    ASSERT_EQ(stat(dir.file("pipe.wav").c_str(), &pipe), 0);
    EXPECT_TRUE(S_ISFIFO(pipe.st_mode));
}

}  // namespace
