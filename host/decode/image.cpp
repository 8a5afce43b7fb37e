// Picture decoding from memory through the system's stb_image library.
#include "host/decode/image.h"

#include <cctype>
#include <climits>
#include <cstring>

#include <stb_image.h>

// Pictures larger than this are refused before decoding: a few header bytes can
// claim any size, and the decoder would try to allocate it.
constexpr int kMaxSide = 16384;                  // pixels
constexpr long long kMaxPixels = 8192LL * 8192;  // 256 MiB as RGBA
// No format packs more pixels into a byte than a PNG of 1-bit pixels at deflate's
// deepest ratio (8 x 1032); a header claiming more than that for its file is refused,
// for the decoder would spend seconds making up the missing pixels.
constexpr long long kMostPixelsPerByte = 8 * 1032;

namespace {

// The image decoder's Huffman tables hold 256 codes and it does not check a JPEG's
// count: a DHT segment declaring more writes past the table. Every FF C4 in a file
// that starts like a JPEG (FF, any fill bytes FF, then D8) is read as a DHT segment,
// and one table of more than 256 codes refuses the file.
bool jpegHuffmanTablesFit(const uint8_t* data, size_t size) {
    size_t start = 0;   // the decoder takes any number of FF fill bytes before D8
    while (start < size && data[start] == 0xFF) ++start;
    if (start == 0 || start >= size || data[start] != 0xD8) return true;
    for (size_t at = start + 1; at + 4 <= size; ++at) {
        if (data[at] != 0xFF || data[at + 1] != 0xC4) continue;
        // As the decoder reads it: tables follow while the segment length lasts, each
        // read whole even where it runs past the segment (bytes past the file are 0).
        long left = long(data[at + 2]) << 8 | data[at + 3];
        left -= 2;
        size_t table = at + 4;
        while (left > 0 && table + 1 < size) {
            long codes = 0;
            for (size_t i = table + 1; i < table + 17 && i < size; ++i) codes += data[i];
            if (codes > 256) return false;
            left -= 17 + codes;
            table += 17 + size_t(codes);
        }
    }
    return true;
}

// The image decoder keeps a JPEG's quantization tables uninitialised until a DQT
// segment defines them, and a scan over a component whose table was never defined
// decodes with whatever memory held. The segments are walked as the decoder walks
// them, and such a scan refuses the file.
bool jpegQuantTablesDefined(const uint8_t* data, size_t size) {
    size_t at = 0;
    while (at < size && data[at] == 0xFF) ++at;
    if (at == 0 || at >= size || data[at] != 0xD8) return true;
    ++at;
    unsigned defined = 0;          // bit t: table t has been defined
    uint8_t tableOf[256] = {};     // component id -> its table, bit 4 set when known
    while (at < size && data[at] == 0xFF) {
        while (at < size && data[at] == 0xFF) ++at;   // fill bytes
        if (at + 2 >= size) return true;
        uint8_t marker = data[at];
        if (marker == 0xD9) return true;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            ++at;
            continue;
        }
        size_t segment = at + 3;
        size_t end = at + 1 + (size_t(data[at + 1]) << 8 | data[at + 2]);
        if (end > size) end = size;
        if (marker == 0xDB) {
            for (size_t table = segment; table < end; table += (data[table] >> 4 ? 129 : 65))
                defined |= 1u << (data[table] & 15);
        } else if (marker >= 0xC0 && marker <= 0xC2 && segment + 6 <= end) {
            for (size_t c = segment + 6; c + 3 <= end; c += 3)
                tableOf[data[c]] = uint8_t(0x10 | (data[c + 2] & 15));
        } else if (marker == 0xDA && segment < end) {
            for (size_t c = segment + 1; c + 2 <= end && c < segment + 1 + 2 * size_t(data[segment]); c += 2) {
                uint8_t table = tableOf[data[c]];
                if ((table & 0x10) && !(defined >> (table & 15) & 1)) return false;
            }
            // Entropy-coded data runs to the next marker other than a stuffed FF 00 or RSTn.
            for (at = end; at + 1 < size; ++at)
                if (data[at] == 0xFF && data[at + 1] != 0 && !(data[at + 1] >= 0xD0 && data[at + 1] <= 0xD7)) break;
            continue;
        }
        at = end;
    }
    return true;
}

// The image decoder reads a PGM or PPM header's width, height and largest value into
// an int without a limit, so ten digits overflow it. A header number of more than nine
// digits refuses the file (whitespace and "#" comments are skipped as it skips them).
bool pnmNumbersFit(const uint8_t* data, size_t size) {
    if (size < 2 || data[0] != 'P' || (data[1] != '5' && data[1] != '6')) return true;
    size_t at = 2;
    for (int number = 0; number < 3; ++number) {
        while (at < size && (std::isspace(data[at]) || data[at] == '#')) {
            if (data[at] != '#') {
                ++at;
                continue;
            }
            while (at < size && data[at] != '\n' && data[at] != '\r') ++at;
        }
        size_t digits = 0;
        for (; at < size && std::isdigit(data[at]); ++at) ++digits;
        if (digits > 9) return false;
    }
    return true;
}

// The image decoder grows its buffer to a PNG chunk's stated length before it reads
// the chunk, so 100 bytes can make it allocate a gigabyte. A chunk before IEND that
// runs past the end of the file (which the decoder refuses after that allocation)
// refuses the file first.
bool pngChunksFit(const uint8_t* data, size_t size) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return true;
    for (size_t at = 8; at + 8 <= size;) {
        uint64_t length = uint64_t(data[at]) << 24 | data[at + 1] << 16 | data[at + 2] << 8 | data[at + 3];
        if (length + 12 > size - at) return false;
        if (std::memcmp(data + at + 4, "IEND", 4) == 0) return true;
        at += 12 + size_t(length);
    }
    return false;
}

}  // namespace

std::optional<ImagePixels> decodeImage(const uint8_t* data, size_t size) {
    if (!data || size == 0 || size > size_t(INT_MAX)) return std::nullopt;
    if (!jpegHuffmanTablesFit(data, size) || !jpegQuantTablesDefined(data, size) ||
        !pnmNumbersFit(data, size) || !pngChunksFit(data, size))
        return std::nullopt;
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, int(size), &width, &height, &channels)) return std::nullopt;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        (long long)width * height > kMaxPixels ||
        (long long)width * height > (long long)size * kMostPixelsPerByte)
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
