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

// The image decoder keeps a JPEG's quantization and Huffman tables and its pixel
// planes uninitialised until segments fill them: a scan that uses an undefined table
// decodes with whatever memory held (an undefined Huffman table sends it reading far
// outside its arrays), and a component no scan decoded is made of leftover memory.
// The file's segments are walked the way the decoder walks them (bytes past the end
// read as 0); a scan that needs an undefined table, or an end of image before every
// component was decoded, refuses the file. Where the walk stops early, the decoder
// gives up there too.
class JpegTables {
public:
    JpegTables(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool defined();

private:
    static constexpr int kNone = -1;   // no marker where one was expected
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    unsigned quant_ = 0, dc_ = 0, ac_ = 0;   // bit t: table t is defined
    int components_ = 0;
    uint8_t id_[4] = {}, table_[4] = {};     // frame components: id and quantization table
    unsigned decoded_ = 0;                   // bit i: component i has been decoded
    bool progressive_ = false;

    int get8() { return at_ < size_ ? data_[at_++] : (at_++, 0); }
    int get16() { int high = get8(); return high << 8 | get8(); }
    bool atEnd() const { return at_ >= size_; }
    int marker();
    bool segment(int m);
    bool frame();
    bool scan();
    void skipEntropyData();
};

int JpegTables::marker() {
    if (get8() != 0xFF) return kNone;
    int m = 0xFF;
    while (m == 0xFF && at_ <= size_) m = get8();
    return m;
}

// A segment before or between scans; false where the decoder gives up.
bool JpegTables::segment(int m) {
    if (m == 0xDD) return get16() == 4 && (get16(), true);
    if (m == 0xDB || m == 0xC4) {
        int left = get16() - 2;
        while (left > 0 && !atEnd()) {
            int q = get8();
            if (m == 0xDB) {
                if (q >> 4 > 1 || (q & 15) > 3) return false;
                at_ += q >> 4 ? 128 : 64;
                left -= q >> 4 ? 129 : 65;
                quant_ |= 1u << (q & 15);
                continue;
            }
            if (q >> 4 > 1 || (q & 15) > 3) return false;
            int codes = 0;
            for (int i = 0; i < 16; ++i) codes += get8();
            at_ += size_t(codes);
            left -= 17 + codes;
            (q >> 4 ? ac_ : dc_) |= 1u << (q & 15);
        }
        return left == 0;
    }
    if ((m >= 0xE0 && m <= 0xEF) || m == 0xFE) {
        int length = get16();
        if (length < 2) return false;
        at_ += size_t(length - 2);
        return true;
    }
    return false;
}

bool JpegTables::frame() {
    at_ += 7;   // length, precision, height, width
    components_ = get8();
    if (components_ != 1 && components_ != 3 && components_ != 4) return false;
    for (int i = 0; i < components_; ++i) {
        id_[i] = uint8_t(get8());
        get8();
        table_[i] = uint8_t(get8());
        if (table_[i] > 3) return false;
    }
    return true;
}

// A scan header: every component's quantization table and the Huffman tables the
// scan decodes with must be defined.
bool JpegTables::scan() {
    get16();
    int count = get8();
    if (count < 1 || count > components_) return false;   // the decoder refuses these too
    int dcTables[4], acTables[4], which[4];
    for (int i = 0; i < count; ++i) {
        int id = get8(), q = get8();
        which[i] = 0;
        while (which[i] < components_ && id_[which[i]] != id) ++which[i];
        if (which[i] == components_) return false;
        dcTables[i] = q >> 4;
        acTables[i] = q & 15;
    }
    int spectralStart = get8();
    get8();
    int approximationHigh = get8() >> 4;
    for (int i = 0; i < components_; ++i)
        if (!(quant_ >> table_[i] & 1)) return false;
    bool usesDc = !progressive_ || (spectralStart == 0 && approximationHigh == 0);
    bool usesAc = !progressive_ || spectralStart > 0;
    for (int i = 0; i < count; ++i) {
        if (usesDc && !(dc_ >> dcTables[i] & 1)) return false;
        if (usesAc && !(ac_ >> acTables[i] & 1)) return false;
        // A progressive component's blocks are cleared by its first DC scan.
        if (usesDc) decoded_ |= 1u << which[i];
    }
    return true;
}

// Entropy-coded data ends at the first FF (after fill bytes) followed by neither a
// stuffed 00 nor a restart marker.
void JpegTables::skipEntropyData() {
    while (at_ < size_) {
        if (data_[at_++] != 0xFF) continue;
        while (at_ < size_ && data_[at_] == 0xFF) ++at_;
        if (at_ < size_ && data_[at_] != 0 && (data_[at_] < 0xD0 || data_[at_] > 0xD7)) {
            --at_;   // back onto an FF, so marker() reads it
            return;
        }
    }
}

bool JpegTables::defined() {
    if (marker() != 0xD8) return true;   // not a JPEG
    int m = marker();
    while (m != 0xC0 && m != 0xC1 && m != 0xC2) {
        if (!segment(m)) return true;
        m = marker();
        while (m == kNone) {
            if (atEnd()) return true;
            m = marker();
        }
    }
    progressive_ = m == 0xC2;
    if (!frame()) return true;
    for (m = marker(); m != 0xD9; m = marker()) {
        if (m == 0xDA) {
            if (!scan()) return false;
            skipEntropyData();
        } else if (m == 0xDC) {
            at_ += 4;
        } else if (!segment(m)) {
            return true;
        }
    }
    return decoded_ == (1u << components_) - 1;
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
    if (!jpegHuffmanTablesFit(data, size) || !JpegTables(data, size).defined() ||
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
