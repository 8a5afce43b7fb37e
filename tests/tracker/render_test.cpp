// Listening to the player: songs played through the real audio channels on the
// loopback device, in process and through the tamo-render program.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app_env.h"
#include "audio/audio.h"
#include "host/datapath.h"
#include "host/process.h"
#include "host/game.h"
#include "support/files.h"
#include "support/xvfb.h"
#include "tracker/app/export.h"
#include "tracker/core/player.h"
#include "tracker/core/songfile.h"

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
    song.trackColumns[noteColumn(channel)].set(row, n);
    song.trackColumns[volumeColumn(channel)].set(row, volume);
    song.trackColumns[instrumentColumn(channel)].set(row, U'1');
    song.trackColumns[octaveColumn(channel)].set(row, octave);
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
    song.trackColumns[noteColumn(4)].set(5, U'-');   // the pattern ends after row 5
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
    // A whole song followed by 50 MB, a FIFO nobody writes to and an endless device
    // are refused without being read.
    spit(dir.file("huge.tam"), song);
    std::filesystem::resize_file(dir.file("huge.tam"), 50u << 20);
    ASSERT_EQ(mkfifo(dir.file("pipe.tam").c_str(), 0600), 0);
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
        {"huge.tam out.wav", "far too large"},
        {"pipe.tam out.wav", "not a regular file"},
        {"/dev/zero out.wav", "not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        RenderRun run = render(dir, c.args);
        EXPECT_EQ(run.status, std::string(c.says) == "usage" ? 2 : 1);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"cut.tam", "empty.tam", "huge.tam", "letter.txt",
                                                          "pipe.tam"}));
    }
}

// The finished file reaches the disk before it is renamed into place, and the folder
// holding it after (seen in the program's system calls).
TEST(TamoRender, TheOutputIsOnDiskBeforeItsRename) {
    TempDir dir;
    spit(dir.file("tune.tam"), songBytes());
    // LeakSanitizer cannot run under a tracer: leaks are left to the other runs.
    RenderRun run = render(dir, "tune.tam out.wav",
                           "strace -E ASAN_OPTIONS=detect_leaks=0 -f -y -o calls.txt -e trace=fsync,rename,renameat,renameat2 ");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> seen;
    std::istringstream calls(slurp(dir.file("calls.txt")));
    for (std::string line; std::getline(calls, line);) {
        if (line.find("fsync(") != std::string::npos && line.find("out.wav.partial-") != std::string::npos)
            seen.push_back("fsync out.wav.partial");
        else if (line.find("fsync(") != std::string::npos && line.find("<" + dir.path() + ">") != std::string::npos)
            seen.push_back("fsync folder");
        else if (line.find("rename") != std::string::npos && line.find("\"out.wav\"") != std::string::npos)
            seen.push_back("rename");
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"fsync out.wav.partial", "rename", "fsync folder"}))
        << slurp(dir.file("calls.txt"));
}

TEST(TamoRender, NeverWritesOverTheSongFile) {
    TempDir dir;
    std::string song = songBytes();
    spit(dir.file("tune.tam"), song);
    spit(dir.file("tune.wav"), song);   // a song file that happens to end in .wav
    std::filesystem::create_symlink(dir.file("tune.tam"), dir.file("link.wav"));
    // An output named like the song but not like a sound file is refused for its name.
    struct Case {
        const char* args;
        const char* says;
    } cases[] = {{"tune.tam tune.tam", "must end in .wav"}, {"tune.wav tune.wav", "over the song file"},
                 {"tune.wav ./tune.wav", "over the song file"}, {"tune.tam link.wav", "over the song file"},
                 {"--stems tune.tam link", "must end in .wav"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        RenderRun run = render(dir, c.args);
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_TRUE(slurp(dir.file("tune.tam")) == song);
        EXPECT_TRUE(slurp(dir.file("tune.wav")) == song);
    }
    // A stem's name may be the song's too.
    spit(dir.file("out-2.wav"), song);
    RenderRun stem = render(dir, "--stems out-2.wav out.wav");
    EXPECT_NE(stem.err.find("over the song file"), std::string::npos) << stem.err;
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"link.wav", "out-2.wav", "tune.tam", "tune.wav"}));
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

// ---- tamo-render's options, listened to through libsndfile ----

struct ReadBack {
    int format = 0, rate = 0, channels = 0;
    std::vector<float> samples;   // interleaved, full scale 1.0
    size_t frames() const { return channels ? samples.size() / size_t(channels) : 0; }
};

ReadBack readBack(const std::string& path) {
    ReadBack r;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!f) return r;
    r.format = info.format;
    r.rate = info.samplerate;
    r.channels = info.channels;
    r.samples.resize(size_t(info.frames) * size_t(info.channels));
    EXPECT_EQ(sf_readf_float(f, r.samples.data(), info.frames), info.frames);
    sf_close(f);
    return r;
}

float peakOf(const std::vector<float>& x) {
    float p = 0;
    for (float v : x) p = std::max(p, std::fabs(v));
    return p;
}

double rmsOf(const std::vector<float>& x, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(x[i]) * x[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0;
}

// One pattern at speed 2 (64 ticks, 56448 frames at 44100 Hz): a held tone on
// channel 1 (ENV 255 barely decays) and notes on channel 2.
std::string heldToneSong() {
    Song song = toneSong(255);
    song.speed = 2;
    note(song, 1, 0, U'y', U'F');
    for (int row = 4; row < 32; row += 8) note(song, 2, row, U'q', U'9');
    return encodeUtf8(writeSong(song));
}
constexpr size_t kPassFrames = 64 * kFramesPerTick;

TEST(TamoRender, EachFormatAndRateReadsBackWithTheSameSound) {
    TempDir dir;
    spit(dir.file("tune.tam"), heldToneSong());
    struct Case {
        const char* args;
        const char* out;
        int format, rate;
        float tolerance;   // largest difference from the 16-bit WAV, full scale 1.0
    } cases[] = {
        {"", "plain.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 0},
        {"", "lossless.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 0},
        {"--bits 24", "deep.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, 1.0f / 32768},
        {"--bits 24", "deep.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 1.0f / 32768},
        {"--bits 32f", "float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1.0f / 32768},
        {"--quality 0.3", "small.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, -1},
        {"--rate 22050", "low.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, -1},
        {"--rate 48000", "high.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, -1},
    };
    ReadBack plain;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        RenderRun run = render(dir, std::string(c.args) + " tune.tam " + c.out);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "") << "no progress line when standard error is not a terminal";
        ReadBack got = readBack(dir.file(c.out));
        EXPECT_EQ(got.format, c.format);
        EXPECT_EQ(got.rate, c.rate);
        EXPECT_EQ(got.channels, 2);
        EXPECT_EQ(got.frames(), size_t(1.28 * c.rate + 0.5)) << "one pass at this rate, to the frame";
        if (plain.samples.empty()) plain = got;
        if (c.tolerance >= 0 && got.samples.size() == plain.samples.size()) {
            float worst = 0;
            for (size_t i = 0; i < got.samples.size(); ++i)
                worst = std::max(worst, std::fabs(got.samples[i] - plain.samples[i]));
            EXPECT_LE(worst, c.tolerance);
        } else {
            // Resampled or lossy: the same level of sound.
            double a = rmsOf(got.samples, 0, got.samples.size());
            double b = rmsOf(plain.samples, 0, plain.samples.size());
            EXPECT_NEAR(a / b, 1.0, 0.05);
        }
    }
    // Compressed files too are the same bytes every time.
    for (const char* out : {"small.ogg", "lossless.flac"}) {
        std::string again = std::string("again") + std::strchr(out, '.');
        std::string args = std::string(out) == "small.ogg" ? "--quality 0.3 " : "";
        ASSERT_EQ(render(dir, args + "tune.tam " + again).status, 0);
        EXPECT_TRUE(slurp(dir.file(out)) == slurp(dir.file(again))) << out << " differs between renders";
    }
}

TEST(TamoRender, LoopsRepeatThePassAndTheFadeFallsLinearlyToSilence) {
    TempDir dir;
    spit(dir.file("tune.tam"), heldToneSong());
    ASSERT_EQ(render(dir, "--loops 3 tune.tam three.wav").status, 0);
    ASSERT_EQ(render(dir, "--loops 2 tune.tam two.wav").status, 0);
    ASSERT_EQ(render(dir, "--fade 1 tune.tam faded.wav").status, 0);
    ReadBack three = readBack(dir.file("three.wav")), two = readBack(dir.file("two.wav"));
    ReadBack faded = readBack(dir.file("faded.wav"));
    EXPECT_EQ(three.frames(), 3 * kPassFrames);
    EXPECT_EQ(two.frames(), 2 * kPassFrames);
    ASSERT_EQ(faded.frames(), kPassFrames + 44100) << "one pass, then one second of fade";
    // The loops are the song going on: the start of the third render is the second's.
    EXPECT_TRUE(std::equal(two.samples.begin(), two.samples.end(), three.samples.begin()));
    // Before the fade the sound is untouched; in it, each tenth of a second is the
    // next pass at 1 - t / 1 s of its level.
    EXPECT_TRUE(std::equal(faded.samples.begin(), faded.samples.begin() + 2 * kPassFrames,
                           two.samples.begin()));
    for (int k = 0; k < 10; ++k) {
        size_t from = 2 * (kPassFrames + size_t(k) * 4410), to = from + 2 * 4410;
        double want = 1.0 - (k + 0.5) / 10.0;
        EXPECT_NEAR(rmsOf(faded.samples, from, to) / rmsOf(two.samples, from, to), want, 0.01)
            << "tenth " << k;
    }
    EXPECT_LT(peakOf(std::vector<float>(faded.samples.end() - 20, faded.samples.end())), 0.001f);
}

TEST(TamoRender, StemsAddUpToTheMixAndChannelsRenderOnlyThemselves) {
    TempDir dir;
    spit(dir.file("tune.tam"), heldToneSong());
    RenderRun run = render(dir, "--stems --loops 2 tune.tam mix.wav");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"mix-1.wav", "mix-2.wav", "mix-3.wav",
                                                      "mix-4.wav", "mix.wav", "tune.tam"}));
    ReadBack mix = readBack(dir.file("mix.wav"));
    std::vector<ReadBack> stems;
    for (int c = 1; c <= 4; ++c) stems.push_back(readBack(dir.file("mix-" + std::to_string(c) + ".wav")));
    float worst = 0;
    for (size_t i = 0; i < mix.samples.size(); ++i) {
        float sum = 0;
        for (const ReadBack& s : stems) sum += s.samples.at(i);
        worst = std::max(worst, std::fabs(sum - mix.samples[i]));
    }
    EXPECT_LE(worst, 2.0f / 32768) << "each stem rounds on its own: at most 2 steps apart";
    EXPECT_GT(peakOf(stems[0].samples), 0.1f);
    EXPECT_GT(peakOf(stems[1].samples), 0.1f);
    EXPECT_EQ(peakOf(stems[2].samples), 0.0f);
    EXPECT_EQ(peakOf(stems[3].samples), 0.0f);

    ASSERT_EQ(render(dir, "--channels 2 --loops 2 tune.tam two.wav").status, 0);
    EXPECT_TRUE(readBack(dir.file("two.wav")).samples == stems[1].samples);
}

TEST(TamoRender, NormalizeBringsThePeakToMinusOneDbfs) {
    TempDir dir;
    spit(dir.file("tune.tam"), heldToneSong());
    ASSERT_EQ(render(dir, "tune.tam plain.wav").status, 0);
    ASSERT_EQ(render(dir, "--normalize --bits 32f tune.tam loud.wav").status, 0);
    ReadBack plain = readBack(dir.file("plain.wav")), loud = readBack(dir.file("loud.wav"));
    ASSERT_EQ(plain.samples.size(), loud.samples.size());
    EXPECT_NEAR(20 * std::log10(peakOf(loud.samples)), -1.0, 0.001);
    EXPECT_LT(peakOf(plain.samples), 0.7f) << "the plain render is quieter to begin with";
    // Scaled, not reshaped: the same gain everywhere.
    double gain = double(peakOf(loud.samples)) / peakOf(plain.samples);
    EXPECT_NEAR(rmsOf(loud.samples, 0, loud.samples.size()) / rmsOf(plain.samples, 0, plain.samples.size()),
                gain, gain * 0.001);
}

TEST(TamoRender, StandardOutputGetsTheSameWavAsAFile) {
    TempDir dir;
    spit(dir.file("tune.tam"), heldToneSong());
    ASSERT_EQ(render(dir, "tune.tam file.wav").status, 0);
    RenderRun piped = render(dir, "tune.tam -", "export TMPDIR='" + dir.path() + "'; ");
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_TRUE(piped.out == slurp(dir.file("file.wav")));
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"file.wav", "tune.tam"})) << "temporary file left";
    // A reader that stops early fails the write; the temporary file goes all the same.
    render(dir, "tune.tam - 2>/dev/null | head -c 10", "export TMPDIR='" + dir.path() + "'; ");
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"file.wav", "tune.tam"})) << "temporary file left";
}

TEST(TamoRender, ARenderOnATerminalShowsItsProgress) {
    TempDir dir;
    spit(dir.file("tune.tam"), heldToneSong());
    // script(1) gives the program a terminal as standard error (and output).
    std::string command = "cd '" + dir.path() + "' && script -qec \"'" TAMO_BINARY_DIR
                          "/tamo-render' tune.tam t.wav\" /dev/null >seen.txt 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << slurp(dir.file("seen.txt"));
    EXPECT_NE(slurp(dir.file("seen.txt")).find("\rtamo-render: t.wav: 1 s of audio"), std::string::npos)
        << slurp(dir.file("seen.txt"));
}

TEST(TamoRender, BadUsageExitsWith2AndWritesNothing) {
    TempDir dir;
    spit(dir.file("tune.tam"), heldToneSong());
    struct Case {
        const char* args;
        const char* says;
    } cases[] = {
        {"tune.tam out.mp3", ".wav, .flac or .ogg"},  {"tune.tam out", ".wav, .flac or .ogg"},
        {"--loops 0 tune.tam o.wav", "--loops"},       {"--loops 100 tune.tam o.wav", "--loops"},
        {"--loops 2x tune.tam o.wav", "--loops"},      {"--fade 61 tune.tam o.wav", "--fade"},
        {"--fade -1 tune.tam o.wav", "--fade"},        {"--rate 8000 tune.tam o.wav", "--rate"},
        {"--bits 20 tune.tam o.wav", "--bits"},        {"--bits 32f tune.tam o.flac", "FLAC"},
        {"--bits 16 tune.tam o.ogg", "OGG"},           {"--quality 1.5 tune.tam o.ogg", "--quality"},
        {"--quality 0.5 tune.tam o.wav", "OGG only"},  {"--channels 5 tune.tam o.wav", "--channels"},
        {"--channels 1,1 tune.tam o.wav", "--channels"}, {"--channels= tune.tam o.wav", "--channels"},
        {"--stems tune.tam -", "--stems"},             {"--frobnicate tune.tam o.wav", "unknown option"},
        {"tune.tam o.wav --loops", "needs a value"},   {"tune.tam", "usage"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        RenderRun run = render(dir, c.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"tune.tam"}));
    RenderRun help = render(dir, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("two passes"), std::string::npos) << help.out;
    EXPECT_EQ(render(dir, "--version").status, 0);
}

// ---- Ctrl+E in the tracker ----

// A child that starts at once and ends when the test says so.
class HeldChild : public ChildProcess {
public:
    HeldChild(std::vector<std::string>& argv, int& status) : argv_(argv), status_(status) {}
    bool start(const std::vector<std::string>& argv) override {
        argv_ = argv;
        return true;
    }
    int poll() override { return status_; }

private:
    std::vector<std::string>& argv_;
    int& status_;
};

class CtrlE : public TrackerAppTest {
protected:
    void SetUp() override {
        TrackerAppTest::SetUp();
        exportOf(*app).makeChild = [this] { return std::make_unique<HeldChild>(argv, status); };
    }
    // Control held over the update; a quick chord, all of it between two updates; or
    // Control pressed one update and let go, with E, before the next.
    enum Chord { kHeld, kQuick, kAcrossUpdates };
    void pressCtrlE(Chord chord = kHeld) {
        host.postKeyEvent(c_VXGameEvent::KeyDown, Key::Control);
        if (chord == kAcrossUpdates) update();
        key(Key::E);
        if (chord != kHeld) host.postKeyEvent(c_VXGameEvent::KeyUp, Key::Control);
        update();
        if (chord == kHeld) host.postKeyEvent(c_VXGameEvent::KeyUp, Key::Control);
    }
    std::vector<std::string> argv;
    int status = ChildProcess::kRunning;
};

TEST_F(CtrlE, WritesTheEditedSongAndRendersItToSongsNameWavWithoutWaiting) {
    pressCtrlE();
    EXPECT_EQ(app->status, Status::EnterName);
    app->fileName = U"tune";
    app->song.trackColumns[noteColumn(1)].set(3, U'q');
    update();   // Control is let go
    key(Key::E);
    update();
    EXPECT_TRUE(argv.empty()) << "E without Control exports nothing";

    const String edited = writeSong(app->song);
    pressCtrlE();
    EXPECT_EQ(app->status, Status::Exporting);
    ASSERT_EQ(argv.size(), 7u);
    EXPECT_EQ(argv[0], narrow(executableFolder()) + "/tamo-render");
    EXPECT_EQ(std::vector<std::string>(argv.begin() + 1, argv.begin() + 5),
              (std::vector<std::string>{"--loops", "2", "--fade", "8"}));
    EXPECT_EQ(argv[6], dir.path() + "/data/songs/tune.wav");
    EXPECT_EQ(argv[5].rfind(dir.path() + "/data/songs/", 0), 0u) << argv[5];
    EXPECT_NE(argv[5], dir.path() + "/data/songs/tmp.dat") << "playback owns the hand-off file";
    EXPECT_TRUE(decodeText(reinterpret_cast<const uint8_t*>(readFile(argv[5]).data()),
                           readFile(argv[5]).size()) == edited);
    EXPECT_TRUE(writeSong(app->song) == edited) << "Ctrl+E changed the song";

    update(25);
    EXPECT_EQ(app->status, Status::Exporting) << "the updates go on while the child works";
    status = 0;
    update();
    EXPECT_EQ(app->status, Status::WavSaved);
    EXPECT_FALSE(app_env::fs::exists(argv[5])) << "the temporary song file stays behind";

    for (Chord chord : {kQuick, kAcrossUpdates}) {
        status = ChildProcess::kRunning;
        update();   // Control of the last chord is up
        app->status = Status::Editing;
        pressCtrlE(chord);
        EXPECT_EQ(app->status, Status::Exporting) << "chord " << chord;
        status = 1;
        update();
        EXPECT_EQ(app->status, Status::ExportFailed);
    }
}

// A song file an export killed over a minute ago left goes at the next export; a fresh
// one may belong to another window's export that is still starting.
TEST_F(CtrlE, AnExportRemovesTheSongFilesKilledExportsLeft) {
    namespace fs = app_env::fs;
    const std::string songs = dir.path() + "/data/songs/";
    writeFile(songs + "old~export", "left by a killed export");
    fs::last_write_time(songs + "old~export", fs::file_time_type::clock::now() - std::chrono::minutes(2));
    writeFile(songs + "fresh~export", "another window's");
    writeFile(songs + "old", "a song");
    fs::last_write_time(songs + "old", fs::file_time_type::clock::now() - std::chrono::minutes(2));
    app->fileName = U"tune";
    pressCtrlE();
    ASSERT_EQ(app->status, Status::Exporting);
    EXPECT_FALSE(fs::exists(songs + "old~export"));
    EXPECT_TRUE(fs::exists(songs + "fresh~export"));
    EXPECT_TRUE(fs::exists(songs + "old"));
}

TEST(ChildProcessRun, ReportsTheExitStatusOfTheProgramOnceItHasEnded) {
    ChildProcess good, bad, missing;
    ASSERT_TRUE(good.start({"/bin/true"}));
    ASSERT_TRUE(bad.start({"/bin/false"}));
    EXPECT_FALSE(missing.start({"/no/such/program"}));
    int a = ChildProcess::kRunning, b = ChildProcess::kRunning;
    while (a == ChildProcess::kRunning || b == ChildProcess::kRunning) {
        if (a == ChildProcess::kRunning) a = good.poll();
        if (b == ChildProcess::kRunning) b = bad.poll();
        usleep(1000);
    }
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
}

// A render ended from outside (the tracker's window closing during an export, Ctrl+C)
// ends by that signal once it has removed its temporary file: nothing half-written.
TEST(ChildProcessRun, StopEndsARenderThatThenLeavesNoFileBehind) {
    TempDir dir;
    const std::string song = dir.file("tune");
    std::filesystem::copy_file(TAMO_SOURCE_DIR "/data/songs/demo1", song);
    ChildProcess render;
    ASSERT_TRUE(render.start({TAMO_BINARY_DIR "/tamo-render", "--loops", "99", song, dir.file("tune.wav")}));
    while (filesIn(dir).size() < 2 && render.poll() == ChildProcess::kRunning) usleep(1000);
    ASSERT_EQ(filesIn(dir).size(), 2u) << "the render never began its file";
    EXPECT_EQ(render.stop(), 128 + SIGTERM);
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"tune"}));
    EXPECT_EQ(render.stop(), 128 + SIGTERM) << "a stopped child is not stopped again";
}

}  // namespace
