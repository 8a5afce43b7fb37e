// Picture decoding from memory through the system's stb_image library.
#include "graphics/imagedecode.h"

#include <climits>
#include <cstring>

#include <stb_image.h>

// Pictures larger than this are refused before decoding: a few header bytes can
// claim any size, and the decoder would try to allocate it.
constexpr int kMaxSide = 16384;                  // pixels
constexpr long long kMaxPixels = 8192LL * 8192;  // 256 MiB as RGBA

std::optional<ImagePixels> decodeImage(const uint8_t* data, size_t size) {
    if (!data || size == 0 || size > size_t(INT_MAX)) return std::nullopt;
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, int(size), &width, &height, &channels)) return std::nullopt;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        (long long)width * height > kMaxPixels)
        return std::nullopt;
    stbi_uc* pixels = stbi_load_from_memory(data, int(size), &width, &height, &channels, 0);
    if (!pixels) return std::nullopt;
    if (width <= 0 || height <= 0 || channels < 1 || channels > 4) {
        stbi_image_free(pixels);
        return std::nullopt;
    }
    ImagePixels image;
    image.width = width;
    image.height = height;
    image.depth = channels;
    size_t bytes = size_t(width) * size_t(height) * size_t(channels);
    image.data.assign(pixels, pixels + bytes);
    stbi_image_free(pixels);
    return image;
}
