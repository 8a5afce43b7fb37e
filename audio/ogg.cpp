// OGG Vorbis decoding from bytes in memory into one block of interleaved 16-bit
// samples. The block starts with room for 4096 frames and doubles whenever less
// than that is free, so a long stream costs few reallocations.
#include "audio/ogg.h"

#include <climits>
#include <cstring>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

namespace {

constexpr int kChunkFrames = 4096;   // frames of free room kept before each decode call

}  // namespace

std::optional<DecodedSound> decodeOgg(const uint8_t* data, size_t size) {
    if (!data || size == 0 || size > size_t(INT_MAX)) return std::nullopt;
    int error = 0;
    stb_vorbis* vorbis = stb_vorbis_open_memory(data, int(size), &error, nullptr);
    if (!vorbis) return std::nullopt;
    stb_vorbis_info info = stb_vorbis_get_info(vorbis);
    const int channels = info.channels;
    if (channels <= 0) {
        stb_vorbis_close(vorbis);
        return std::nullopt;
    }
    const size_t room = size_t(channels) * kChunkFrames;   // 16-bit samples
    std::vector<int16_t> block(room);
    size_t fill = 0;
    long frames = 0;
    for (;;) {
        int got = stb_vorbis_get_samples_short_interleaved(
            vorbis, channels, block.data() + fill, int(block.size() - fill));
        if (got <= 0) break;
        frames += got;
        fill += size_t(got) * channels;
        if (block.size() - fill < room) block.resize(block.size() * 2);
        if (frames > INT_MAX / 2) break;   // longer than any length we can hold
    }
    stb_vorbis_close(vorbis);

    DecodedSound sound;
    sound.data.resize(fill * 2);
    std::memcpy(sound.data.data(), block.data(), fill * 2);   // little-endian host
    sound.length = int(frames);
    sound.channels = channels;
    sound.format = 2;
    sound.hertz = int(info.sample_rate);
    return sound;
}
