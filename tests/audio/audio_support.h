#pragma once
// Shared helpers of the audio tests: WAV bytes built by hand, files in a temp
// folder, the committed waveforms, and listening to the loopback device.
#include <AL/al.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/sound.h"

namespace audiotest {

inline void put16(std::vector<uint8_t>& b, unsigned v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void putTag(std::vector<uint8_t>& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }
inline void putChunk(std::vector<uint8_t>& b, const char* tag, const std::vector<uint8_t>& body) {
    putTag(b, tag);
    put32(b, uint32_t(body.size()));
    b.insert(b.end(), body.begin(), body.end());
}

// A WAV file's bytes, chunk by chunk, so a test can change any one field.
struct WavLayout {
    unsigned formatTag = 1;
    unsigned channels = 1;
    uint32_t hertz = 11025;
    unsigned bits = 8;
    uint32_t fmtSize = 16;                 // > 16 appends zero bytes to the fmt chunk
    std::vector<uint8_t> data = std::vector<uint8_t>(64, 0x80);
    std::vector<std::vector<uint8_t>> before;   // whole chunks placed before "fmt "
    std::vector<std::vector<uint8_t>> between;  // whole chunks between "fmt " and "data"
};

inline std::vector<uint8_t> chunk(const char* tag, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> b;
    putChunk(b, tag, body);
    return b;
}

inline std::vector<uint8_t> makeWav(const WavLayout& s) {
    std::vector<uint8_t> b;
    putTag(b, "RIFF");
    put32(b, 0);   // ignored by the reader
    putTag(b, "WAVE");
    for (auto& c : s.before) b.insert(b.end(), c.begin(), c.end());
    putTag(b, "fmt ");
    put32(b, s.fmtSize);
    put16(b, s.formatTag);
    put16(b, s.channels);
    put32(b, s.hertz);
    put32(b, s.hertz * s.channels * (s.bits / 8));
    put16(b, s.channels * (s.bits / 8));
    put16(b, s.bits);
    for (uint32_t i = 16; i < s.fmtSize; ++i) b.push_back(0);
    for (auto& c : s.between) b.insert(b.end(), c.begin(), c.end());
    putChunk(b, "data", s.data);
    return b;
}

inline bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
    std::fclose(f);
    return bytes;
}

inline std::string wavePath(const std::string& name) { return std::string(TAMO_SOURCE_DIR) + "/data/wav/" + name; }

// One of the committed waveforms, uploaded to the current device.
inline std::shared_ptr<gxtkSample> waveSample(const std::string& name) {
    return audioDevice->loadSample(widen(wavePath(name)));
}

// What the buffer says about itself.
struct BufferInfo {
    int bits = 0, channels = 0, hertz = 0, size = 0;
};
inline BufferInfo bufferInfo(uint32_t buffer) {
    BufferInfo i;
    alGetBufferi(buffer, AL_BITS, &i.bits);
    alGetBufferi(buffer, AL_CHANNELS, &i.channels);
    alGetBufferi(buffer, AL_FREQUENCY, &i.hertz);
    alGetBufferi(buffer, AL_SIZE, &i.size);
    return i;
}

inline int sourceState(uint32_t source) {
    ALint s = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &s);
    return s;
}

// ---- listening ----

constexpr int kOutputHertz = 44100;

// `seconds` of the loopback device's output, interleaved stereo.
inline std::vector<int16_t> listen(gxtkAudio& device, double seconds) {
    int frames = int(std::lround(seconds * kOutputHertz));
    std::vector<int16_t> out(size_t(frames) * 2);
    device.render(out.data(), frames);
    return out;
}

inline std::vector<double> leftChannel(const std::vector<int16_t>& stereo, size_t skipFrames = 0) {
    std::vector<double> left;
    for (size_t i = skipFrames * 2; i < stereo.size(); i += 2) left.push_back(stereo[i]);
    return left;
}

// Frequency from the rising zero crossings (interpolated between samples) of a signal
// without DC; 0 when fewer than two crossings are found.
inline double frequencyOf(const std::vector<double>& s, double hertz = kOutputHertz) {
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            double t = double(i - 1) + (-s[i - 1]) / (s[i] - s[i - 1]);
            if (first < 0) first = t;
            last = t;
            ++count;
        }
    }
    if (count < 2) return 0;
    return hertz * (count - 1) / (last - first);
}

inline double rms(const std::vector<double>& s) {
    double sum = 0;
    for (double v : s) sum += v * v;
    return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
}

inline int peak(const std::vector<int16_t>& s) {
    int p = 0;
    for (int16_t v : s) p = std::max(p, std::abs(int(v)));
    return p;
}

// Fraction of samples above the midpoint of the signal's range: a pulse's duty cycle.
inline double dutyCycle(const std::vector<double>& s) {
    double lo = 1e9, hi = -1e9;
    for (double v : s) lo = std::min(lo, v), hi = std::max(hi, v);
    double mid = (lo + hi) / 2;
    size_t above = 0;
    for (double v : s) above += v > mid;
    return s.empty() ? 0 : double(above) / double(s.size());
}

}  // namespace audiotest
