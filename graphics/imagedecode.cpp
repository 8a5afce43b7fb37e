// Picture decoding from memory through the system's stb_image library.
#include "graphics/imagedecode.h"

#include <climits>
#include <cstring>

#include <stb_image.h>

std::optional<ImagePixels> decodeImage(const uint8_t* data, size_t size) {
    if (!data || size == 0 || size > size_t(INT_MAX)) return std::nullopt;
    int width = 0, height = 0, channels = 0;
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
