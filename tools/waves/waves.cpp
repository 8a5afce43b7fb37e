// tamo-waves: writes the tracker's eight looped waveform samples from formulas.
//
//   tamo-waves FOLDER     writes ramp_64.wav ... zero_64.wav into FOLDER
//
// Every file is a RIFF WAVE, 16-bit mono PCM at 8372 Hz, so a 64-sample cycle
// played at rate 1.0 sounds at 8372 / 64 = 130.81 Hz (C3). The player sounds a
// pulse as the sum of a rising saw (channel c) and the falling saw "saw_64.wav"
// (channel c + 4); the width of the pulse is the distance between the two saws'
// edges, so "ramp_b_64.wav" and "ramp_c_64.wav" place their edge a quarter and an
// eighth of a cycle from the falling saw's edge (25 % and 12.5 % pulses).
//
// Headroom: a saw peaks at 63 * 56 = 3528, so one pulse pair never exceeds 7056
// whatever the phase between its voices, and four pairs stay below 28224 (86 % of
// full scale), leaving room for a resampler's overshoot. The single voices
// (triangle, effect, noise) play against silence and peak at the same 7056.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/decode/wav.h"

namespace {

constexpr int kRate = 8372;          // Hz: 64 samples per cycle at 130.81 Hz
constexpr int kCycle = 64;           // samples in one looped cycle
constexpr int kSawStep = 56;         // rise per sample of the saws
constexpr int kPeak = 63 * kSawStep; // 3528: peak of one saw
constexpr int kVoicePeak = 2 * kPeak;

using Wave = std::vector<int16_t>;

// One rising saw cycle: 64 steps of 56 from -3528 to +3528, symmetric about 0.
int rising(int n) { return kSawStep * (2 * (n & (kCycle - 1)) - (kCycle - 1)); }

Wave risingSaw(int shift) {
    Wave w(kCycle);
    for (int n = 0; n < kCycle; ++n) w[n] = int16_t(rising(n + shift));
    return w;
}

// The negated rising saw, half a cycle later: its edge is where the ramp's is not.
Wave fallingSaw() {
    Wave w(kCycle);
    for (int n = 0; n < kCycle; ++n) w[n] = int16_t(-rising(n + kCycle / 2));
    return w;
}

Wave triangle() {
    Wave w(kCycle);
    for (int n = 0; n < kCycle; ++n) {
        double p = (n + 0.5) / kCycle;
        w[n] = int16_t(std::lround(kVoicePeak * (1.0 - 4.0 * std::fabs(p - 0.5))));
    }
    return w;
}

// A bright, metallic effect wave: a few strong odd and high harmonics, quantised to
// 16 levels (a stepped 4-bit wave), scaled to the voice peak.
Wave effectWave() {
    const double pi = 3.14159265358979323846;
    const double harmonics[][2] = {{1, 1.0}, {3, -0.55}, {5, 0.7}, {9, -0.6}, {13, 0.45}, {17, 0.3}};
    std::vector<double> v(kCycle);
    double peak = 0;
    for (int n = 0; n < kCycle; ++n) {
        double p = 2 * pi * n / kCycle;
        for (auto& h : harmonics) v[n] += h[1] * std::sin(h[0] * p);
        peak = std::fmax(peak, std::fabs(v[n]));
    }
    Wave w(kCycle);
    for (int n = 0; n < kCycle; ++n) {
        double level = std::lround((v[n] / peak) * 7.5 + 7.5);   // 0..15
        w[n] = int16_t(std::lround((level - 7.5) / 7.5 * kVoicePeak));
    }
    return w;
}

// About two seconds of white noise from a fixed xorshift sequence (same every run).
Wave noise() {
    Wave w(2 * kRate);
    uint32_t x = 0x2545F491u;
    for (auto& s : w) {
        x ^= x << 13; x ^= x >> 17; x ^= x << 5;
        s = int16_t(int((x >> 8) % (2 * kVoicePeak + 1)) - kVoicePeak);
    }
    return w;
}

bool writeWav(const std::string& path, const Wave& samples) {
    std::vector<uint8_t> out = wavHeader(1, kRate, 16, uint32_t(samples.size() * 2));
    for (int16_t s : samples) {
        out.push_back(uint8_t(uint16_t(s) & 255));
        out.push_back(uint8_t(uint16_t(s) >> 8));
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tamo-waves FOLDER\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const struct { const char* name; Wave wave; } files[] = {
        {"ramp_64.wav", risingSaw(0)},
        {"ramp_b_64.wav", risingSaw(kCycle / 4)},        // edge a quarter from saw_64's
        {"ramp_c_64.wav", risingSaw(3 * kCycle / 8)},    // edge an eighth from saw_64's
        {"saw_64.wav", fallingSaw()},
        {"fx2b.wav", effectWave()},
        {"tri_64.wav", triangle()},
        {"hnoise.wav", noise()},
        {"zero_64.wav", Wave(kCycle, 0)},
    };
    for (auto& f : files) {
        if (!writeWav(dir + f.name, f.wave)) {
            std::fprintf(stderr, "tamo-waves: cannot write %s%s\n", dir.c_str(), f.name);
            return 1;
        }
    }
    std::printf("tamo-waves: wrote 8 waveforms to %s\n", dir.c_str());
    return 0;
}
