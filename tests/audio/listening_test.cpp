// Listening to the channels through the loopback device: the two-voice pulses of the
// tracker at the right pitch, rate and level, without clipping, the same every time.
#include <gtest/gtest.h>

#include <chrono>

#include "audio_support.h"

using namespace audiotest;

namespace {

constexpr double kC3 = 8372.0 / 64.0;   // 130.8125 Hz: one 64-sample cycle at rate 1.0

class Listening : public ::testing::Test {
protected:
    gxtkAudio device{AudioLoopback{}};

    void SetUp() override { ASSERT_TRUE(device.isOpen()); }

    // The tracker's voice pair: main sample on channel c, second on c + 4.
    void playPair(const std::shared_ptr<gxtkSample>& main, const std::shared_ptr<gxtkSample>& second,
                  int c, float rate, float gain) {
        for (int ch : {c, c + 4}) {
            device.setRate(ch, rate);
            device.setVolume(ch, gain);
        }
        ASSERT_EQ(device.playSample(main, c, 1), 0);
        ASSERT_EQ(device.playSample(second, c + 4, 1), 0);
    }
    // One second of steady sound on the left, after a settling time.
    std::vector<double> steadyLeft() {
        listen(device, 0.1);
        return leftChannel(listen(device, 1.0));
    }
};

}  // namespace

TEST_F(Listening, RampAndSawTogetherSoundASquareAtC3) {
    auto ramp = waveSample("ramp_64.wav"), saw = waveSample("saw_64.wav");
    playPair(ramp, saw, 1, 1.0f, 1.0f);
    std::vector<double> left = steadyLeft();
    EXPECT_NEAR(frequencyOf(left), kC3, kC3 * 0.005);
    EXPECT_NEAR(dutyCycle(left), 0.5, 0.02);
    // A square: nearly every sample sits at one of two levels.
    double level = *std::max_element(left.begin(), left.end());
    size_t flat = 0;
    for (double v : left) flat += std::abs(std::abs(v) - level) < level * 0.05;
    EXPECT_GT(double(flat) / double(left.size()), 0.95);
}

TEST_F(Listening, RateTwoDoublesThePitch) {
    playPair(waveSample("ramp_64.wav"), waveSample("saw_64.wav"), 1, 2.0f, 1.0f);
    EXPECT_NEAR(frequencyOf(steadyLeft()), 2 * kC3, 2 * kC3 * 0.005);
}

TEST_F(Listening, GainOneHalfHalvesTheAmplitude) {
    auto ramp = waveSample("ramp_64.wav"), saw = waveSample("saw_64.wav");
    playPair(ramp, saw, 1, 1.0f, 1.0f);
    double full = rms(steadyLeft());
    device.setVolume(1, 0.5f);
    device.setVolume(5, 0.5f);
    double half = rms(steadyLeft());
    ASSERT_GT(full, 1000);
    EXPECT_NEAR(half / full, 0.5, 0.005);
}

TEST_F(Listening, TheNarrowPulsesHaveTheirWidths) {
    auto saw = waveSample("saw_64.wav");
    playPair(waveSample("ramp_b_64.wav"), saw, 1, 1.0f, 1.0f);
    std::vector<double> quarter = steadyLeft();
    EXPECT_NEAR(dutyCycle(quarter), 0.25, 0.02);
    EXPECT_NEAR(frequencyOf(quarter), kC3, kC3 * 0.005);
    playPair(waveSample("ramp_c_64.wav"), saw, 1, 1.0f, 1.0f);
    EXPECT_NEAR(dutyCycle(steadyLeft()), 0.125, 0.02);
}

// The player detunes the second voice, so the phase between the voices drifts and
// the pulse narrows to a spike of both peaks: four such pairs must still fit.
TEST_F(Listening, FourDetunedPulsePairsAtFullGainDoNotClip) {
    const char* mains[] = {"ramp_64.wav", "ramp_b_64.wav", "ramp_c_64.wav", "ramp_64.wav"};
    auto saw = waveSample("saw_64.wav");
    std::vector<std::shared_ptr<gxtkSample>> keep;
    for (int c = 1; c <= 4; ++c) {
        keep.push_back(waveSample(mains[c - 1]));
        playPair(keep.back(), saw, c, 1.0f, 1.0f);
        device.setRate(c + 4, 1.0f + 0.01f * float(c));   // PWM-like detune
    }
    std::vector<int16_t> out = listen(device, 4.0);
    EXPECT_LT(peak(out), 32767);
    EXPECT_GT(peak(out), 8000) << "the pairs do sound together";
}

TEST_F(Listening, SingleVoicesSoundAtTheirPitch) {
    auto zero = waveSample("zero_64.wav");
    for (const char* name : {"tri_64.wav", "fx2b.wav"}) {
        auto main = waveSample(name);
        playPair(main, zero, 2, 1.0f, 1.0f);
        std::vector<double> left = steadyLeft();
        if (std::string(name) == "tri_64.wav") EXPECT_NEAR(frequencyOf(left), kC3, kC3 * 0.005);
        EXPECT_GT(rms(left), 500) << name;
        device.stopChannel(2);
        device.stopChannel(6);
    }
    playPair(zero, zero, 3, 1.0f, 1.0f);
    listen(device, 0.01);   // the stopped voices' short fade-out
    EXPECT_EQ(peak(listen(device, 0.2)), 0);
}

TEST(LoopbackRender, TwoRendersOfTheSameScoreAreIdentical) {
    auto render = [] {
        gxtkAudio device{AudioLoopback{}};
        auto ramp = waveSample("ramp_64.wav"), saw = waveSample("saw_64.wav");
        auto noise = waveSample("hnoise.wav");
        device.playSample(ramp, 1, 1);
        device.playSample(saw, 5, 1);
        device.playSample(noise, 2, 1);
        std::vector<int16_t> all;
        for (int tick = 0; tick < 100; ++tick) {   // 2 s of 50 Hz ticks, 882 frames each
            device.setRate(5, 1.0f + 0.002f * float(tick % 10));
            device.setVolume(2, 1.0f - 0.01f * float(tick));
            std::vector<int16_t> block(882 * 2);
            device.render(block.data(), 882);
            all.insert(all.end(), block.begin(), block.end());
        }
        return all;
    };
    std::vector<int16_t> a = render(), b = render();
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b);
    EXPECT_GT(peak(a), 1000);
}

// Eight looping voices re-pitched and re-levelled every 882 frames, as the player
// does: far faster than real time (the offline renderer's limit).
TEST(LoopbackRender, EightVoicesRenderManyTimesFasterThanRealTime) {
    gxtkAudio device{AudioLoopback{}};
    auto ramp = waveSample("ramp_64.wav"), saw = waveSample("saw_64.wav");
    for (int c = 1; c <= 4; ++c) {
        device.playSample(ramp, c, 1);
        device.playSample(saw, c + 4, 1);
    }
    std::vector<int16_t> block(882 * 2);
    const int ticks = 50 * 20;   // 20 seconds of sound
    auto start = std::chrono::steady_clock::now();
    for (int tick = 0; tick < ticks; ++tick) {
        for (int c = 1; c <= 8; ++c) {
            device.setVolume(c, 0.5f + 0.001f * float(tick % 100));
            device.setRate(c, 1.0f + 0.0005f * float((tick + c) % 40));
        }
        device.render(block.data(), 882);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double speed = 20.0 / seconds;
    std::printf("[ measure  ] 8 voices: %.0f times real time\n", speed);
    EXPECT_GT(speed, 20.0);
}
