// The eight waveforms in data/wav: what the player relies on (format, rate, cycle
// length, pulse shapes, headroom), that the host loads them by their data paths,
// and that our generator still produces exactly the committed files.
#include <gtest/gtest.h>

#include <cstdlib>

#include "host/decode/wav.h"
#include "audio_support.h"
#include "host/game.h"
#include "support/xvfb.h"

using namespace audiotest;

namespace {

const char* const kWaveFiles[] = {"ramp_64.wav", "ramp_b_64.wav", "ramp_c_64.wav", "saw_64.wav",
                                  "fx2b.wav",    "tri_64.wav",    "hnoise.wav",    "zero_64.wav"};

std::vector<int> samplesOf(const std::string& name) {
    std::vector<uint8_t> bytes = readFile(wavePath(name));
    auto sound = decodeWav(bytes.data(), bytes.size());
    std::vector<int> out;
    if (!sound) return out;
    auto* s = reinterpret_cast<const int16_t*>(sound->data.data());
    out.assign(s, s + sound->length);
    return out;
}

// The sum of the main and second voice at equal rate and phase.
std::vector<int> pairSum(const std::string& main, const std::string& second) {
    std::vector<int> a = samplesOf(main), b = samplesOf(second);
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) a[i] += b[i];
    return a;
}

// Fraction of the cycle at the higher of the two levels of a pulse.
double highFraction(const std::vector<int>& pulse) {
    int hi = *std::max_element(pulse.begin(), pulse.end());
    return double(std::count(pulse.begin(), pulse.end(), hi)) / double(pulse.size());
}

int peakOf(const std::vector<int>& s) {
    int p = 0;
    for (int v : s) p = std::max(p, std::abs(v));
    return p;
}

}  // namespace

TEST(Waveforms, EveryFileIs16BitMonoAt8372HzWithA64SampleCycle) {
    for (const char* name : kWaveFiles) {
        std::vector<uint8_t> bytes = readFile(wavePath(name));
        auto sound = decodeWav(bytes.data(), bytes.size());
        ASSERT_TRUE(sound) << name;
        EXPECT_EQ(sound->format, 2) << name;
        EXPECT_EQ(sound->channels, 1) << name;
        EXPECT_EQ(sound->hertz, 8372) << name;
        if (std::string(name) == "hnoise.wav")
            EXPECT_NEAR(sound->length / 8372.0, 2.0, 0.1) << "about two seconds of noise";
        else
            EXPECT_EQ(sound->length, 64) << name;
    }
}

TEST(Waveforms, RampAndSawSumToPulsesOfHalfAQuarterAndAnEighth) {
    std::vector<int> square = pairSum("ramp_64.wav", "saw_64.wav");
    EXPECT_DOUBLE_EQ(highFraction(square), 0.5);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(square[i], i < 32 ? -3584 : 3584) << "sample " << i;
    EXPECT_DOUBLE_EQ(highFraction(pairSum("ramp_b_64.wav", "saw_64.wav")), 0.25);
    EXPECT_DOUBLE_EQ(highFraction(pairSum("ramp_c_64.wav", "saw_64.wav")), 0.125);
    for (const char* main : {"ramp_64.wav", "ramp_b_64.wav", "ramp_c_64.wav"}) {
        std::vector<int> p = pairSum(main, "saw_64.wav");
        long dc = 0;
        for (int v : p) dc += v;
        EXPECT_EQ(dc, 0) << main << ": a pulse without DC";
    }
}

TEST(Waveforms, TheRampRisesFromPhaseZeroAndTheSawIsItsNegationHalfACycleLater) {
    std::vector<int> ramp = samplesOf("ramp_64.wav"), saw = samplesOf("saw_64.wav");
    ASSERT_EQ(ramp.size(), 64u);
    EXPECT_LT(ramp[0], 0);
    for (int i = 1; i < 64; ++i) EXPECT_GT(ramp[i], ramp[i - 1]);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(saw[i], -ramp[(i + 32) % 64]);
    std::vector<int> b = samplesOf("ramp_b_64.wav"), c = samplesOf("ramp_c_64.wav");
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(b[i], ramp[(i + 16) % 64]);
        EXPECT_EQ(c[i], ramp[(i + 24) % 64]);
    }
}

// Whatever the phase the detune drifts the voices to, a pair peaks at most at the
// sum of its voices' peaks; four pairs of the loudest ones must fit in 16 bits.
TEST(Waveforms, FourPairsAtAnyPhaseLeaveHeadroom) {
    int loudestPair = 0;
    for (const char* main : {"ramp_64.wav", "ramp_b_64.wav", "ramp_c_64.wav"})
        loudestPair = std::max(loudestPair, peakOf(samplesOf(main)) + peakOf(samplesOf("saw_64.wav")));
    for (const char* single : {"fx2b.wav", "tri_64.wav", "hnoise.wav"})
        loudestPair = std::max(loudestPair, peakOf(samplesOf(single)));
    EXPECT_LE(4 * loudestPair, 32767 * 9 / 10) << "10 % left for a resampler's overshoot";
    EXPECT_GE(4 * loudestPair, 32767 / 2) << "and not needlessly quiet";
}

TEST(Waveforms, SilenceIsSilentAndTheOthersAreNot) {
    std::vector<int> zero = samplesOf("zero_64.wav");
    ASSERT_EQ(zero.size(), 64u);
    EXPECT_EQ(peakOf(zero), 0);
    for (const char* name : {"fx2b.wav", "tri_64.wav", "hnoise.wav"}) EXPECT_GT(peakOf(samplesOf(name)), 3000) << name;
    std::vector<int> fx = samplesOf("fx2b.wav");
    std::sort(fx.begin(), fx.end());
    EXPECT_LE(std::unique(fx.begin(), fx.end()) - fx.begin(), 16) << "a stepped 4-bit wave";
}

TEST(Waveforms, TheHostLoadsAllEightByTheirDataPaths) {
    VXGlfwGame host;
    host.setDataRoot(widen(TAMO_SOURCE_DIR));
    gxtkAudio device{AudioLoopback{}};
    for (const char* name : kWaveFiles) {
        auto sound = loadSound(U"wav/" + widen(name));
        ASSERT_TRUE(sound && sound->sample) << name;
        BufferInfo info = bufferInfo(sound->sample->buffer);
        EXPECT_EQ(info.bits, 16) << name;
        EXPECT_EQ(info.channels, 1) << name;
        EXPECT_EQ(info.hertz, 8372) << name;
    }
    EXPECT_FALSE(loadSound(U"wav/none.wav"));
}

TEST(Waveforms, TheHostDecodesAnEndingInCapitalsAsWav) {
    TempDir root;
    ASSERT_EQ(std::system(("mkdir -p '" + root.file("data") + "'").c_str()), 0);
    ASSERT_TRUE(writeFile(root.file("data/LOUD.WAV"), readFile(wavePath("tri_64.wav"))));
    VXGlfwGame host;
    host.setDataRoot(widen(root.path()));
    gxtkAudio device{AudioLoopback{}};
    auto sound = loadSound(U"LOUD.WAV");
    ASSERT_TRUE(sound && sound->sample);
    EXPECT_EQ(bufferInfo(sound->sample->buffer).size, 128);
}

TEST(Waveforms, TheGeneratorStillWritesExactlyTheCommittedFiles) {
    std::string tool = std::string(TAMO_BINARY_DIR) + "/tools/waves/tamo-waves";
    TempDir out;
    ASSERT_EQ(std::system(("'" + tool + "' '" + out.path() + "' > /dev/null").c_str()), 0)
        << "build the tamo-waves target first: " << tool;
    for (const char* name : kWaveFiles)
        EXPECT_TRUE(readFile(out.file(name)) == readFile(wavePath(name))) << name << " differs from data/wav";
}
