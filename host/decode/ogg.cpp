// OGG Vorbis decoding from bytes in memory into one block of interleaved 16-bit
// samples. The block starts with room for 4096 frames and doubles whenever less
// than that is free, so a long stream costs few reallocations.
//
// Before the Vorbis decoder sees a stream, its comment and setup headers are measured
// here: the decoder allocates the lengths they state unchecked (a few bytes can ask for
// gigabytes, a negative size or a wrapped one). It allocates from one block we own, so
// its failures leave no leak. A stream longer than kMaxOggSeconds, stated or decoded,
// is refused.
//
// Sections: [headers] the header packets and their checks; [decoding] decodeOgg
#include "host/decode/ogg.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

namespace {

constexpr int kChunkFrames = 4096;   // frames of free room kept before each decode call
constexpr unsigned kMaxHertz = 192000;
constexpr int kArenaBytes = 2 << 20;  // the decoder's tables and scratch: ~220 KiB for a 96 kHz
                                      // stereo stream at the highest quality

uint32_t le32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

// ---- [headers] ----

// The bytes of header packet `index` (0 identification, 1 comment, 2 setup), joined
// across the pages that hold it, as far as the bytes go. The decoder refuses a first
// page that holds more than the identification header, so packets are counted from
// the first page on.
std::vector<uint8_t> headerPacket(const uint8_t* data, size_t size, int index) {
    std::vector<uint8_t> packet;
    size_t page = 0;
    int packetIndex = 0;
    while (page + 27 <= size && std::memcmp(data + page, "OggS", 4) == 0) {
        size_t segments = data[page + 26];
        size_t body = page + 27 + segments;
        for (size_t s = 0; s < segments && page + 27 + s < size; ++s) {
            size_t length = data[page + 27 + s];
            if (packetIndex == index && body < size)
                packet.insert(packet.end(), data + body, data + std::min(size, body + length));
            body += length;
            if (length < 255 && ++packetIndex > index) return packet;
        }
        page = body;
    }
    return packet;
}

// True when every length the comment header states fits in the bytes it has: the
// vendor string, the comment count (four bytes each at least) and each comment.
bool commentLengthsFit(const std::vector<uint8_t>& packet) {
    size_t at = 7;   // after the packet type and "vorbis"
    auto takeLength = [&](uint32_t& length) {
        if (packet.size() < at + 4) return false;
        length = le32(packet, at);
        at += 4;
        return length <= packet.size() - at;
    };
    uint32_t vendor = 0, count = 0, comment = 0;
    if (!takeLength(vendor)) return false;
    at += vendor;
    if (!takeLength(count) || count > (packet.size() - at) / 4) return false;
    for (uint32_t i = 0; i < count; ++i) {
        if (!takeLength(comment)) return false;
        at += comment;
    }
    return true;
}

// Bits of a packet, least significant first, as the decoder reads them; past the end
// every read gives 0 and `ended` is set.
struct PacketBits {
    const std::vector<uint8_t>& bytes;
    uint64_t bit;
    bool ended = false;

    uint32_t take(int n) {
        uint32_t value = 0;
        for (int i = 0; i < n; ++i, ++bit) {
            if (bit / 8 >= bytes.size()) {
                ended = true;
                return 0;
            }
            value |= uint32_t(bytes[bit / 8] >> (bit % 8) & 1) << i;
        }
        return value;
    }
    void skip(uint64_t n) {
        bit += n;
        if (bit / 8 >= bytes.size()) ended = true;
    }
};

int bitsFor(uint32_t n) {
    int bits = 0;
    for (; n != 0; n >>= 1) ++bits;
    return bits;
}

// The decoder's own count of lookup values of a type-1 codebook, in its own float
// steps: -1 where it refuses the codebook, -2 where those steps would overflow an int.
int lookup1Values(int entries, int dim) {
    auto power = [dim](float base) { return std::pow(double(base), double(dim)); };
    int r = int(std::floor(std::exp(double(float(std::log(double(float(entries)))) / float(dim)))));
    if (std::floor(power(float(r) + 1)) > INT_MAX) return -2;
    if (int(std::floor(power(float(r) + 1))) <= entries) ++r;
    if (power(float(r) + 1) <= entries) return -1;
    if (std::floor(power(float(r))) > INT_MAX) return -2;
    if (int(std::floor(power(float(r)))) > entries) return -1;
    return r;
}

// The codeword lengths of a codebook, skipped; false where the decoder refuses them.
bool skipLengths(PacketBits& in, uint32_t entries) {
    if (in.take(1)) {   // ordered
        uint32_t entry = 0;
        uint32_t length = in.take(5) + 1;
        while (entry < entries && !in.ended) {
            uint32_t n = in.take(bitsFor(entries - entry));
            if (length >= 32 || entry + n > entries) return false;
            entry += n;
            ++length;
        }
        return true;
    }
    bool sparse = in.take(1);
    for (uint32_t j = 0; j < entries && !in.ended; ++j)
        if ((!sparse || in.take(1)) && in.take(5) + 1 == 32) return false;
    return true;
}

// The decoder sizes a codebook's value table as entries x dimensions without checking
// the product, which wraps in 32 bits (and then overruns the table), and counts a
// type-1 table's values through a power that can overflow its int. True when no
// codebook of the setup header asks for more than kMaxLookupValues or overflows that
// count; a header the decoder refuses anyway passes.
bool codebooksFit(const std::vector<uint8_t>& setup) {
    constexpr uint64_t kMaxLookupValues = 1 << 24;
    PacketBits in{setup, 7 * 8};   // after the packet type and "vorbis"
    int count = int(in.take(8)) + 1;
    for (int c = 0; c < count && !in.ended; ++c) {
        if (in.take(24) != 0x564342) return true;
        uint32_t dimensions = in.take(16);
        uint32_t entries = in.take(24);
        if (entries == 0 || dimensions == 0 || !skipLengths(in, entries)) return true;
        uint32_t lookup = in.take(4);
        if (lookup == 0 || in.ended) continue;
        if (lookup > 2) return true;
        if (uint64_t(entries) * dimensions > kMaxLookupValues) return false;
        in.skip(32 + 32);   // minimum and delta
        uint32_t valueBits = in.take(4) + 1;
        in.skip(1);         // sequence flag
        int64_t values = lookup == 1 ? lookup1Values(int(entries), int(dimensions))
                                     : int64_t(entries) * dimensions;
        if (values == -2) return false;
        if (values <= 0) return true;
        in.skip(uint64_t(values) * valueBits);
    }
    return true;
}

// The header lengths the decoder would allocate unchecked all fit their bytes.
bool headersFit(const uint8_t* data, size_t size) {
    return commentLengthsFit(headerPacket(data, size, 1)) &&
           codebooksFit(headerPacket(data, size, 2));
}

// ---- [decoding] ----

// Decodes every frame into one block; none when the stream runs past `maxFrames`.
std::optional<std::vector<int16_t>> decodeAll(stb_vorbis* vorbis, int channels, long long maxFrames,
                                              long& frames) {
    const size_t room = size_t(channels) * kChunkFrames;   // 16-bit samples
    std::vector<int16_t> block(room);
    size_t fill = 0;
    frames = 0;
    for (;;) {
        int got = stb_vorbis_get_samples_short_interleaved(
            vorbis, channels, block.data() + fill, int(block.size() - fill));
        if (got <= 0) break;
        frames += got;
        fill += size_t(got) * channels;
        if (frames > maxFrames) return std::nullopt;
        if (block.size() - fill < room) block.resize(block.size() * 2);
    }
    block.resize(fill);
    return block;
}

}  // namespace

std::optional<DecodedSound> decodeOgg(const uint8_t* data, size_t size) {
    if (!data || size == 0 || size > size_t(INT_MAX)) return std::nullopt;
    if (!headersFit(data, size)) return std::nullopt;
    // Every allocation of the decoder comes from this one block, so a failure halfway
    // through opening leaves nothing behind, and no stream can take more.
    std::unique_ptr<char[]> arena(new char[kArenaBytes]);
    stb_vorbis_alloc alloc{arena.get(), kArenaBytes};
    int error = 0;
    stb_vorbis* vorbis = stb_vorbis_open_memory(data, int(size), &error, &alloc);
    if (!vorbis) return std::nullopt;
    stb_vorbis_info info = stb_vorbis_get_info(vorbis);
    const int channels = info.channels;
    const long long maxFrames = (long long)kMaxOggSeconds * info.sample_rate;
    long frames = 0;
    std::optional<std::vector<int16_t>> block;
    if (channels > 0 && info.sample_rate > 0 && info.sample_rate <= kMaxHertz &&
        stb_vorbis_stream_length_in_samples(vorbis) <= maxFrames)
        block = decodeAll(vorbis, channels, maxFrames, frames);
    stb_vorbis_close(vorbis);
    if (!block) return std::nullopt;

    DecodedSound sound;
    const auto* bytes = reinterpret_cast<const uint8_t*>(block->data());
    sound.data.assign(bytes, bytes + block->size() * 2);   // little-endian host
    sound.length = int(frames);
    sound.channels = channels;
    sound.format = 2;
    sound.hertz = int(info.sample_rate);
    return sound;
}
