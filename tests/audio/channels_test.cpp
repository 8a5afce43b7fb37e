// Channels: lazy sources, starting and cutting, looping and one-shots, pause,
// suspend and resume, running out of sources, pan, and the discarded buffers.
// Everything runs on the loopback device, so time passes only when we render.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "audio/output_config.h"
#include "audio_support.h"
#include "support/xvfb.h"

using namespace audiotest;

namespace {

class Channels : public ::testing::Test {
protected:
    gxtkAudio device{AudioLoopback{}};
    std::shared_ptr<gxtkSample> ramp = waveSample("ramp_64.wav");
    std::shared_ptr<gxtkSample> saw = waveSample("saw_64.wav");

    void SetUp() override {
        ASSERT_TRUE(device.isOpen());
        ASSERT_TRUE(ramp && saw);
    }
    uint32_t source(int c) const { return device.channel(c).source; }
    float gain(int c) const {
        float g = -1;
        alGetSourcef(source(c), AL_GAIN, &g);
        return g;
    }
    int attached(int c) const {
        ALint b = -1;
        alGetSourcei(source(c), AL_BUFFER, &b);
        return b;
    }
    void passTime(double seconds) { listen(device, seconds); }
};

// Takes every source OpenAL has left, so the next request must be served by the
// channels; gives them back at the end.
struct SourceHog {
    std::vector<ALuint> names;
    SourceHog() {
        for (;;) {
            alGetError();
            ALuint name = 0;
            alGenSources(1, &name);
            if (alGetError() != AL_NO_ERROR) break;
            names.push_back(name);
        }
    }
    ~SourceHog() {
        if (!names.empty()) alDeleteSources(ALsizei(names.size()), names.data());
    }
};

}  // namespace

TEST_F(Channels, OnlyTheMusicChannelHasASourceAtStart) {
    EXPECT_NE(source(gxtkAudio::kMusicChannel), 0u);
    for (int c = 0; c < 32; ++c) {
        EXPECT_EQ(source(c), 0u) << "channel " << c;
        EXPECT_EQ(device.getChannelState(c), 0);
    }
    EXPECT_TRUE(device.isLoopback());
    EXPECT_EQ(audioDevice, &device);
}

TEST_F(Channels, VolumeSetBeforeTheFirstPlayIsKeptByThePlay) {
    device.setVolume(3, 0.5f);
    ASSERT_NE(source(3), 0u);
    EXPECT_FLOAT_EQ(gain(3), 0.5f);
    ASSERT_EQ(device.playSample(ramp, 3, 1), 0);
    EXPECT_FLOAT_EQ(gain(3), 0.5f);
    setChannelRate(3, 1.5f);
    device.playSample(saw, 3, 1);
    float pitch = 0;
    alGetSourcef(source(3), AL_PITCH, &pitch);
    EXPECT_FLOAT_EQ(pitch, 1.5f);
}

TEST_F(Channels, RefusedValuesLeaveThePreviousOnesInForce) {
    device.setVolume(2, 0.25f);
    device.setVolume(2, -1.0f);
    EXPECT_FLOAT_EQ(gain(2), 0.25f);
    device.setRate(2, 2.0f);
    device.setRate(2, -1.0f);
    float pitch = 0;
    alGetSourcef(source(2), AL_PITCH, &pitch);
    EXPECT_FLOAT_EQ(pitch, 2.0f);
}

TEST_F(Channels, ANewSampleOnAPlayingChannelCutsTheOldOne) {
    device.playSample(ramp, 1, 1);
    passTime(0.05);
    device.playSample(saw, 1, 1);
    EXPECT_EQ(attached(1), int(saw->buffer));
    EXPECT_EQ(device.channel(1).sample, saw);
    EXPECT_EQ(device.getChannelState(1), 1);
    // Only the falling saw sounds now: its samples fall within each cycle.
    passTime(0.01);
    std::vector<double> left = leftChannel(listen(device, 0.05));
    int falling = 0, rising = 0;
    for (size_t i = 1; i < left.size(); ++i) {
        double d = left[i] - left[i - 1];
        falling += d < -5 && d > -400;
        rising += d > 5 && d < 400;
    }
    EXPECT_GT(falling, 10 * std::max(rising, 1));
}

TEST_F(Channels, ALoopedSampleStaysPlayingUntilStopped) {
    device.playSample(ramp, 4, 1);
    for (int i = 0; i < 5; ++i) {
        passTime(0.2);
        EXPECT_EQ(device.getChannelState(4), 1);
    }
    stopChannel(4);
    EXPECT_EQ(device.getChannelState(4), 0);
    EXPECT_EQ(sourceState(source(4)), AL_STOPPED);
    EXPECT_EQ(device.channel(4).sample, ramp);   // kept until the next start
    passTime(0.01);   // the mixer's short fade-out
    EXPECT_EQ(peak(listen(device, 0.05)), 0);
}

TEST_F(Channels, AOneShotEndsAsStoppedAndCannotBePausedAfterwards) {
    device.playSample(ramp, 6, 0);
    EXPECT_EQ(device.getChannelState(6), 1);
    passTime(0.05);   // 64 samples at 8372 Hz last 7.6 ms
    device.pauseChannel(6);
    EXPECT_EQ(device.getChannelState(6), 0);
    device.resumeChannel(6);
    EXPECT_EQ(device.getChannelState(6), 0);

    device.playSample(ramp, 7, 1);
    device.pauseChannel(7);
    EXPECT_EQ(device.getChannelState(7), 2);
    EXPECT_EQ(sourceState(source(7)), AL_PAUSED);
    device.resumeChannel(7);
    EXPECT_EQ(device.getChannelState(7), 1);
    EXPECT_EQ(sourceState(source(7)), AL_PLAYING);
}

TEST_F(Channels, SuspendAndResumeRestartExactlyTheAudiblyPlayingChannels) {
    device.playSample(ramp, 1, 1);   // playing
    device.playSample(saw, 2, 1);
    device.pauseChannel(2);          // paused by the application
    device.playSample(ramp, 3, 0);   // one-shot, will have ended
    device.playSample(saw, 4, 1);
    device.stopChannel(4);           // stopped
    passTime(0.05);

    device.suspend();
    EXPECT_EQ(sourceState(source(1)), AL_PAUSED);
    EXPECT_EQ(device.channel(1).state, 1);
    passTime(0.01);   // the mixer's short fade-out
    EXPECT_EQ(peak(listen(device, 0.05)), 0) << "nothing sounds while suspended";

    device.resume();
    EXPECT_EQ(sourceState(source(1)), AL_PLAYING);
    EXPECT_EQ(sourceState(source(2)), AL_PAUSED);
    EXPECT_EQ(sourceState(source(3)), AL_STOPPED);
    EXPECT_EQ(sourceState(source(4)), AL_STOPPED);
    EXPECT_EQ(device.getChannelState(1), 1);
    EXPECT_EQ(device.getChannelState(2), 2);
    EXPECT_EQ(device.getChannelState(3), 0);
    EXPECT_GT(peak(listen(device, 0.05)), 1000) << "channel 1 sounds again";
}

TEST_F(Channels, WithoutFreeSourcesAStartTakesTheLowestStoppedChannelsSource) {
    device.playSample(ramp, 2, 1);   // playing: keeps its source
    device.setVolume(5, 1.0f);       // has a source, stopped
    device.setVolume(9, 1.0f);       // has a source, stopped
    device.playSample(ramp, 7, 0);   // one-shot that ends: counts as stopped
    uint32_t five = source(5), seven = source(7);
    passTime(0.05);
    SourceHog hog;
    ASSERT_FALSE(hog.names.empty());

    ASSERT_EQ(device.playSample(saw, 20, 1), 0);
    EXPECT_EQ(source(20), five);
    EXPECT_EQ(source(5), 0u);
    ASSERT_EQ(device.playSample(saw, 21, 1), 0);
    EXPECT_EQ(source(21), seven) << "the ended one-shot on 7 comes before 9";
    EXPECT_EQ(device.getChannelState(7), 0);
    ASSERT_EQ(device.playSample(saw, 22, 1), 0);
    EXPECT_EQ(source(5), 0u);
    EXPECT_EQ(source(9), 0u);

    device.pauseChannel(22);   // paused channels keep their source too
    EXPECT_EQ(device.playSample(saw, 23, 1), -1);
    EXPECT_EQ(source(23), 0u);
    EXPECT_EQ(device.getChannelState(23), 0);
    EXPECT_NE(source(2), 0u);
    EXPECT_EQ(device.getChannelState(2), 1);
}

TEST_F(Channels, PanSteersTheSourceOnACircleAroundTheListener) {
    auto position = [&](int c) {
        float x = 9, y = 9, z = 9;
        alGetSource3f(source(c), AL_POSITION, &x, &y, &z);
        return std::vector<float>{x, y, z};
    };
    device.setPan(8, 0.0f);
    EXPECT_EQ(position(8), (std::vector<float>{0.0f, 0.0f, -1.0f}));
    device.setPan(8, 1.5707964f);
    std::vector<float> right = position(8);
    EXPECT_NEAR(right[0], 1.0f, 1e-6);
    EXPECT_EQ(right[1], 0.0f);
    EXPECT_NEAR(right[2], 0.0f, 1e-6);

    // Fully right is heard on the right only.
    device.playSample(ramp, 8, 1);
    passTime(0.02);
    std::vector<int16_t> out = listen(device, 0.05);
    double left = 0, rightSide = 0;
    for (size_t i = 0; i < out.size(); i += 2) left += std::abs(out[i]), rightSide += std::abs(out[i + 1]);
    EXPECT_LT(left, rightSide * 0.05);
}

TEST_F(Channels, DiscardedBuffersWaitUntilNoSourceHoldsThem) {
    device.playSample(ramp, 5, 1);
    device.stopChannel(5);   // stopped, the buffer still attached
    uint32_t name = ramp->buffer;
    ramp->discard();
    EXPECT_EQ(ramp->buffer, 0u);
    ASSERT_EQ(discardedBuffers(), std::vector<uint32_t>{name});

    device.flushDiscarded();
    EXPECT_EQ(discardedBuffers(), std::vector<uint32_t>{name}) << "attached to channel 5's source";
    EXPECT_TRUE(alIsBuffer(name));

    device.playSample(saw, 5, 1);   // flushes first (still attached), then swaps the buffer
    EXPECT_EQ(discardedBuffers(), std::vector<uint32_t>{name});
    device.flushDiscarded();
    EXPECT_TRUE(discardedBuffers().empty());
    EXPECT_FALSE(alIsBuffer(name));
}

TEST_F(Channels, AnEndedOneShotLetsGoOfItsDiscardedBuffer) {
    device.playSample(ramp, 6, 0);
    passTime(0.05);
    uint32_t name = ramp->buffer;
    ramp.reset();   // the channel still holds the sample
    EXPECT_TRUE(discardedBuffers().empty());
    device.playSample(saw, 6, 0);   // replaces the channel's reference: the sample dies
    passTime(0.05);
    EXPECT_EQ(discardedBuffers(), std::vector<uint32_t>{name});
    // A load flushes first (this one then finds no file): the one-shot has ended.
    EXPECT_FALSE(device.loadSample(widen(wavePath("missing.wav"))));
    EXPECT_TRUE(discardedBuffers().empty());
    EXPECT_FALSE(alIsBuffer(name));
    EXPECT_EQ(device.getChannelState(6), 0);
}

TEST_F(Channels, TheApplicationFunctionsIgnoreEmptySounds) {
    playSound(nullptr, 1, 1);
    c_Sound empty(nullptr);
    playSound(&empty, 1, 1);
    EXPECT_EQ(source(1), 0u);
    c_Sound sound(saw);
    playSound(&sound, 1, 1);
    EXPECT_EQ(device.getChannelState(1), 1);
    setChannelVolume(1, 0.75f);
    EXPECT_FLOAT_EQ(gain(1), 0.75f);
}

TEST_F(Channels, MusicPlaysAWholeFileOnItsOwnChannel) {
    EXPECT_EQ(device.playMusic(widen(wavePath("missing.wav")), 1), -1);
    ASSERT_EQ(device.playMusic(widen(wavePath("tri_64.wav")), 1), 0);
    EXPECT_EQ(device.getMusicState(), 1);
    device.setMusicVolume(0.5f);
    EXPECT_FLOAT_EQ(gain(gxtkAudio::kMusicChannel), 0.5f);
    device.pauseMusic();
    EXPECT_EQ(device.getMusicState(), 2);
    device.resumeMusic();
    EXPECT_EQ(device.getMusicState(), 1);
    device.stopMusic();
    EXPECT_EQ(device.getMusicState(), 0);
}

TEST(AudioDevice, WithoutADeviceTheApplicationCallsDoNothing) {
    ASSERT_EQ(audioDevice, nullptr);
    EXPECT_FALSE(loadSound(widen(wavePath("ramp_64.wav"))));
    stopChannel(1);
    setChannelVolume(1, 0.5f);
    setChannelRate(1, 2.0f);
    playSound(nullptr, 1, 1);
}

TEST(AudioDevice, TheNullOutputDeviceOpensAndPlays) {
    gxtkAudio device;
    EXPECT_FALSE(device.isLoopback());
    ASSERT_TRUE(device.isOpen()) << "ALSOFT_DRIVERS=null gives a null output device";
    auto sample = waveSample("saw_64.wav");
    ASSERT_TRUE(sample);
    EXPECT_EQ(device.playSample(sample, 0, 1), 0);
    EXPECT_EQ(device.getChannelState(0), 1);
    std::vector<int16_t> block(64, 7);
    device.render(block.data(), 32);
    EXPECT_EQ(peak(block), 0) << "the output device renders nothing into memory";
}

// Nothing audible for a quiet spell: the mixer pauses until a start, a
// gain above 0 on a playing channel or a resume; a stopped channel or a gain of 0 keeps
// it resting. The loopback device mixes only when asked and never rests.
TEST(AudioDevice, TheOutputRestsAfterAQuietSpellAndWakesForSound) {
    gxtkAudio device;
    ASSERT_TRUE(device.isOpen());
    auto sample = waveSample("saw_64.wav");
    ASSERT_TRUE(sample);
    auto spell = [&] {
        for (int i = 0; i < gxtkAudio::kQuietCalls; ++i) device.rest();
        return device.resting();
    };
    for (int i = 1; i < gxtkAudio::kQuietCalls; ++i) device.rest();
    EXPECT_FALSE(device.resting());
    device.rest();
    ASSERT_TRUE(device.resting());

    device.playSample(sample, 1, 1);
    EXPECT_FALSE(device.resting());
    EXPECT_FALSE(spell() || spell()) << "a looped sample at gain 1 sounds";
    device.setVolume(1, 0);
    EXPECT_TRUE(spell());
    device.setVolume(2, 1);   // a channel that plays nothing
    EXPECT_TRUE(device.resting());
    device.setVolume(1, 0.5f);
    EXPECT_FALSE(device.resting());
    EXPECT_EQ(device.getChannelState(1), 1);
    device.pauseChannel(1);
    EXPECT_TRUE(spell());
    device.resumeChannel(1);
    EXPECT_FALSE(device.resting());
    device.stopChannel(1);
    EXPECT_TRUE(spell());

    gxtkAudio loopback{AudioLoopback{}};
    for (int i = 0; i < 2 * gxtkAudio::kQuietCalls; ++i) loopback.rest();
    EXPECT_FALSE(loopback.resting());
}

TEST(AudioDevice, ASecondDeviceAfterTheFirstStartsClean) {
    std::shared_ptr<gxtkSample> survivor;
    {
        gxtkAudio first{AudioLoopback{}};
        survivor = waveSample("ramp_64.wav");
        first.playSample(survivor, 1, 1);
    }
    EXPECT_EQ(audioDevice, nullptr);
    gxtkAudio second{AudioLoopback{}};
    auto fresh = waveSample("saw_64.wav");
    survivor.reset();   // its buffer died with the first device: not listed here
    EXPECT_TRUE(discardedBuffers().empty());
    EXPECT_TRUE(alIsBuffer(fresh->buffer));
    second.playSample(fresh, 1, 1);
    EXPECT_GT(peak(listen(second, 0.05)), 1000);
}

// With no OpenAL output at all (no driver works) the device prints one line and the
// program runs on silently. OpenAL reads its driver list once per process, so this
// runs in a child process started with a driver list that names no real driver.
TEST(AudioDeviceDeathTest, WithoutAnOutputOneLineIsPrintedAndNothingPlays) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    std::string captured = dir.file("stdout.txt");
    setenv("ALSOFT_DRIVERS", "no-such-driver", 1);
    auto child = [&] {
        if (!std::freopen(captured.c_str(), "w", stdout)) std::_Exit(10);
        int failures = 0;
        {
            gxtkAudio device;
            failures += device.isOpen();
            auto sample = waveSample("ramp_64.wav");
            failures += device.playSample(sample, 1, 1) != -1;
            failures += device.getChannelState(1) != 0;
            device.setVolume(1, 0.5f);
            device.suspend();
            device.resume();
        }
        std::fflush(stdout);
        std::vector<uint8_t> text = readFile(captured);
        failures += std::string(text.begin(), text.end()) != "OpenAl error: alcOpenDevice failed\n";
        std::_Exit(failures);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
    setenv("ALSOFT_DRIVERS", "null", 1);
}

// OpenAL Soft's wave writer is a capture: it never rests, because a pause would leave
// its next samples writing over the file's header. Its driver is chosen once per
// process, so this runs in a child process.
TEST(AudioDeviceDeathTest, TheWaveWriterNeverRestsAndKeepsItsHeader) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    std::string wave = dir.file("capture.wav"), conf = dir.file("alsoft.conf");
    std::ofstream(conf) << "[general]\ndrivers = wave\n[wave]\nfile = " << wave << "\n";
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
    auto child = [&] {
        int failures = 0;
        {
            gxtkAudio device;
            failures += !device.isOpen();
            for (int i = 0; i < 2 * gxtkAudio::kQuietCalls; ++i) device.rest();
            failures += device.resting();
            device.playSample(waveSample("saw_64.wav"), 1, 1);
            usleep(50000);
        }
        std::vector<uint8_t> bytes = readFile(wave);
        failures += bytes.size() < 44 || std::string(bytes.begin() + 8, bytes.begin() + 16) != "WAVEfmt ";
        std::_Exit(failures);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
    unsetenv("ALSOFT_CONF");
    setenv("ALSOFT_DRIVERS", "null", 1);
}

// ---- the output's mixing period ----

TEST(OutputPeriod, OnlyAnUncommentedPeriodSettingCountsAsTheUsersChoice) {
    EXPECT_TRUE(configSetsPeriod("[general]\nperiod_size = 512\n"));
    EXPECT_TRUE(configSetsPeriod("  periods=2"));
    EXPECT_FALSE(configSetsPeriod("[general]\n#period_size = 512\n# periods = 4\n"));
    EXPECT_FALSE(configSetsPeriod("[general]\nfrequency = 48000\nperiod_sizes = 4\n"));
    EXPECT_FALSE(configSetsPeriod("periods\n"));
    auto env = [](const char* name) -> const char* {
        std::string n = name;
        return n == "HOME" ? "/home/u" : n == "XDG_CONFIG_DIRS" ? "/a:/b" : nullptr;
    };
    std::vector<std::string> files = openalConfigFiles(env);
    std::vector<std::string> expected = {"/etc/openal/alsoft.conf", "/a/alsoft.conf",
                                         "/b/alsoft.conf", "/home/u/.alsoftrc",
                                         "/home/u/.config/alsoft.conf"};
    EXPECT_EQ(files, expected);
}

// OpenAL Soft reads its configuration once per process, so each case runs in a child
// whose home holds the user's configuration; the period is read back from the device.
TEST(AudioDeviceDeathTest, TheTrackersShortPeriodIsUsedOnlyWhenTheUserChoseNone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    std::string own = dir.file("own.conf");
    std::ofstream(own) << "[general]\nperiod_size = 256\nperiods = 3\n";
    auto periodWith = [&](const char* userConfig) {
        setenv("HOME", dir.path().c_str(), 1);
        setenv("XDG_CONFIG_DIRS", dir.path().c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("ALSOFT_CONF");
        std::ofstream(dir.file(".alsoftrc")) << userConfig;
        chooseOutputConfig(own);
        gxtkAudio device;
        std::_Exit(device.periodFrames() / 64);
    };
    EXPECT_EXIT(periodWith("[general]\nfrequency = 44100\n"), ::testing::ExitedWithCode(4), "");
    EXPECT_EXIT(periodWith("[general]\nperiod_size = 512\n"), ::testing::ExitedWithCode(8), "");
}
