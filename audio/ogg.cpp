// OGG Vorbis decoding from bytes in memory into one block of interleaved 16-bit
// samples. The block starts with room for 4096 frames and doubles whenever less
// than that is free, so a long stream costs few reallocations.
//
// Before the Vorbis decoder sees a stream, its comment header is measured here: the
// decoder allocates whatever lengths that header states (a few bytes can ask for
// gigabytes or for a negative size) and on some failures frees only part of what it
// allocated. A stream longer than kMaxOggSeconds, stated or decoded, is refused.
#include "audio/ogg.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

namespace {

constexpr int kChunkFrames = 4096;   // frames of free room kept before each decode call
constexpr unsigned kMaxHertz = 192000;

uint32_t le32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

// The bytes of the second packet of the stream (the comment header), joined across
// the pages that hold it, as far as the bytes go. The first page must hold exactly one
// packet (the identification header); the decoder refuses anything else.
std::vector<uint8_t> commentPacket(const uint8_t* data, size_t size) {
    std::vector<uint8_t> packet;
    size_t page = 0;
    int packetIndex = 0;
    while (page + 27 <= size && std::memcmp(data + page, "OggS", 4) == 0) {
        size_t segments = data[page + 26];
        size_t body = page + 27 + segments;
        for (size_t s = 0; s < segments && page + 27 + s < size; ++s) {
            size_t length = data[page + 27 + s];
            if (packetIndex == 1 && body < size)
                packet.insert(packet.end(), data + body, data + std::min(size, body + length));
            body += length;
            if (length < 255 && ++packetIndex > 1) return packet;
        }
        page = body;
    }
    return packet;
}

// True when every length the comment header states fits in the bytes it has: the
// vendor string, the comment count (four bytes each at least) and each comment.
bool commentLengthsFit(const uint8_t* data, size_t size) {
    std::vector<uint8_t> packet = commentPacket(data, size);
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
    if (!commentLengthsFit(data, size)) return std::nullopt;
    int error = 0;
    stb_vorbis* vorbis = stb_vorbis_open_memory(data, int(size), &error, nullptr);
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
    sound.data.resize(block->size() * 2);
    std::memcpy(sound.data.data(), block->data(), block->size() * 2);   // little-endian host
    sound.length = int(frames);
    sound.channels = channels;
    sound.format = 2;
    sound.hertz = int(info.sample_rate);
    return sound;
}
