// RIFF WAVE reader for integer PCM, working on the file's bytes in memory.
//
// Accepted layout: "RIFF", a size (ignored), "WAVE", then the "fmt " chunk first
// (format tag 1 only), then chunks of 4-byte identifier, 4-byte size and content.
// The first "data" chunk holds the samples; every other chunk is skipped by exactly
// its stated size. Reads past the end fail instead of reading garbage, and nothing
// is allocated beyond what the bytes really hold.
#include "host/decode/wav.h"

#include <cstring>

namespace {

// Sequential little-endian reads over a byte range; a read that does not fit fails.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool atEnd() const { return pos_ >= size_; }
    size_t left() const { return size_ - pos_; }

    // Like a file read at its end, a short read uses up what was left and fails.
    bool read(void* into, size_t n) {
        if (n > left()) {
            pos_ = size_;
            return false;
        }
        if (n == 0) return true;   // an empty data chunk has no buffer to copy into
        std::memcpy(into, data_ + pos_, n);
        pos_ += n;
        return true;
    }
    bool tag(const char* expected) {
        char got[4];
        return read(got, 4) && std::memcmp(got, expected, 4) == 0;
    }
    bool u16(uint32_t& v) {
        uint8_t b[2];
        if (!read(b, 2)) return false;
        v = uint32_t(b[0]) | uint32_t(b[1]) << 8;
        return true;
    }
    bool u32(uint32_t& v) {
        uint8_t b[4];
        if (!read(b, 4)) return false;
        v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return true;
    }
    // Skipping past the end leaves the reader at its end.
    void skip(uint64_t n) { pos_ = n >= left() ? size_ : pos_ + size_t(n); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

struct WavFormat {
    int channels = -1;        // -1 when the field could not be read
    int hertz = 0;
    int bytesPerSample = 0;   // bits per sample / 8; 0 when unreadable
};

bool readHeader(ByteReader& in) {
    uint32_t ignored;
    return in.tag("RIFF") && in.u32(ignored) && in.tag("WAVE") && in.tag("fmt ");
}

// The fmt chunk: tag 1 only; fields that cannot be read keep their "unknown" value.
bool readFormat(ByteReader& in, WavFormat& fmt) {
    uint32_t size = 0, tag = 0, v = 0;
    int32_t fmtSize = in.u32(size) ? int32_t(size) : -1;
    if (!in.u16(tag) || tag != 1) return false;
    if (in.u16(v)) fmt.channels = int(v);
    if (in.u32(v)) fmt.hertz = int32_t(v);
    in.u32(v);   // byte rate
    in.u16(v);   // block align
    if (in.u16(v)) fmt.bytesPerSample = int(v >> 3);
    if (fmtSize > 16) in.skip(uint32_t(fmtSize) - 16);
    return true;
}

}  // namespace

std::optional<DecodedSound> decodeWav(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    WavFormat fmt;
    if (!readHeader(in) || !readFormat(in, fmt)) return std::nullopt;
    for (;;) {
        char id[4] = {0, 0, 0, 0};
        bool gotId = in.read(id, 4);
        if (in.atEnd()) return std::nullopt;
        uint32_t chunkSize = 0;
        if (!in.u32(chunkSize)) return std::nullopt;   // cut inside the chunk header
        if (!gotId || std::memcmp(id, "data", 4) != 0) {
            in.skip(chunkSize);
            continue;
        }
        if (chunkSize > in.left()) {   // the data cannot be read whole: try on
            in.skip(chunkSize);
            continue;
        }
        int frameBytes = fmt.bytesPerSample * fmt.channels;
        if (frameBytes <= 0) return std::nullopt;   // no sample size: nothing to play
        DecodedSound sound;
        sound.data.resize(chunkSize);
        in.read(sound.data.data(), chunkSize);
        sound.length = int(chunkSize / uint32_t(frameBytes));
        sound.channels = fmt.channels;
        sound.format = fmt.bytesPerSample;
        sound.hertz = fmt.hertz;
        return sound;
    }
}

std::vector<uint8_t> wavHeader(int channels, int hertz, int bitsPerSample, uint32_t dataBytes) {
    std::vector<uint8_t> h;
    auto tag = [&](const char* t) { h.insert(h.end(), t, t + 4); };
    auto u16 = [&](uint32_t v) {
        h.push_back(uint8_t(v));
        h.push_back(uint8_t(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    const uint32_t frameBytes = uint32_t(channels * bitsPerSample / 8);
    tag("RIFF");
    u32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);   // integer PCM
    u16(uint32_t(channels));
    u32(uint32_t(hertz));
    u32(uint32_t(hertz) * frameBytes);   // bytes per second
    u16(frameBytes);                     // block align
    u16(uint32_t(bitsPerSample));
    tag("data");
    u32(dataBytes);
    return h;
}
