// Generates the program's icon at 48, 128 and 256 pixels: tamo-tracker-SIZE.png.
//
// The icon is the screen's logo in the program's own font: the letters T A over M O,
// each cell the font's block glyph '[' taken from the font strip, in the screen's text
// colour on a rounded tile of the screen's background colour. The logo is laid out at
// the font's size (11 x 12 pixels a cell) and scaled down by averaging, so every size
// comes from the same drawing.
//
// Usage: tamo-icons glimfont.png output-folder
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "host/decode/image.h"
#include "tracker/app/app.h"

namespace {

constexpr int kCellW = 11, kCellH = 12;     // a font cell
constexpr int kFirstCode = 32;              // the strip starts at the space
constexpr int kLetterCells = 3, kGap = 1;   // logo letters and the blank between them
const float kInk[3] = {148, 144, 164};      // the screen's text colour
const float kTile[3] = {86, 60, 106};       // the screen's background colour
const float kEdge[3] = {38, 38, 38};        // the status bar's colour

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "tamo-icons: %s\n", message.c_str());
    std::exit(1);
}

// Ink coverage 0..1 per pixel.
struct Mask {
    int width, height;
    std::vector<float> ink;
    Mask(int w, int h) : width(w), height(h), ink(size_t(w) * h, 0.0f) {}
    float& at(int x, int y) { return ink[size_t(y) * width + x]; }
    float at(int x, int y) const { return ink[size_t(y) * width + x]; }
};

// The font's '[' cell from the strip (alpha as ink).
Mask blockGlyph(const std::string& stripPath) {
    std::ifstream in(stripPath, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::optional<ImagePixels> strip = decodeImage(bytes.data(), bytes.size());
    if (!strip || strip->depth != 4) fail("cannot read the font strip " + stripPath);
    int x0 = ('[' - kFirstCode) * kCellW;
    if (x0 + kCellW > strip->width || strip->height < kCellH) fail("the strip is too small");
    Mask cell(kCellW, kCellH);
    for (int y = 0; y < kCellH; ++y)
        for (int x = 0; x < kCellW; ++x)
            cell.at(x, y) = strip->data[(size_t(y) * strip->width + x0 + x) * 4 + 3] / 255.0f;
    return cell;
}

// The logo's rows rearranged as two lines of two letters: "TA" above "MO".
std::vector<std::u32string> twoByTwo() {
    const int pair = 2 * kLetterCells + kGap;   // two letters and their gap
    std::vector<std::u32string> rows;
    for (int half = 0; half < 2; ++half) {
        if (half) rows.push_back(std::u32string(pair, U' '));
        for (int r = 0; r < kLogoHeight; ++r)
            rows.push_back(std::u32string(kLogoRows[r]).substr(half * (pair + kGap), pair));
    }
    return rows;
}

// The rows drawn with the glyph in every '[' cell, at the font's own size.
Mask layOut(const std::vector<std::u32string>& rows, const Mask& glyph) {
    Mask logo(int(rows[0].size()) * kCellW, int(rows.size()) * kCellH);
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c)
            if (rows[r][c] == U'[')
                for (int y = 0; y < kCellH; ++y)
                    for (int x = 0; x < kCellW; ++x)
                        logo.at(int(c) * kCellW + x, int(r) * kCellH + y) = glyph.at(x, y);
    return logo;
}

// The mask scaled by `scale` (below 1), each target pixel the average of the source
// area it covers.
Mask shrink(const Mask& source, float scale) {
    Mask out(std::max(1, int(std::lround(source.width * scale))),
             std::max(1, int(std::lround(source.height * scale))));
    const float sx = float(source.width) / out.width, sy = float(source.height) / out.height;
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            float sum = 0, area = 0;
            for (int j = int(y * sy); j < std::min(source.height, int(std::ceil((y + 1) * sy))); ++j)
                for (int i = int(x * sx); i < std::min(source.width, int(std::ceil((x + 1) * sx))); ++i) {
                    float w = (std::min((x + 1) * sx, i + 1.0f) - std::max(x * sx, float(i))) *
                              (std::min((y + 1) * sy, j + 1.0f) - std::max(y * sy, float(j)));
                    sum += w * source.at(i, j);
                    area += w;
                }
            out.at(x, y) = area > 0 ? sum / area : 0;
        }
    return out;
}

// Coverage of a rounded square from `inset` to size - inset with corner radius r, at
// the pixel whose top-left corner is (x, y), sampled 4 x 4 times.
float tileCoverage(int x, int y, int size, float inset, float r) {
    int inside = 0;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            float px = x + (i + 0.5f) / 4, py = y + (j + 0.5f) / 4;
            float lo = inset + r, hi = size - inset - r;
            float dx = std::max({lo - px, 0.0f, px - hi}), dy = std::max({lo - py, 0.0f, py - hi});
            if (px >= inset && py >= inset && px <= size - inset && py <= size - inset &&
                dx * dx + dy * dy <= r * r)
                ++inside;
        }
    return inside / 16.0f;
}

// One icon: the tile with a one-pixel-per-48 edge, the logo centred on it.
std::vector<uint8_t> icon(const Mask& logo, int size) {
    const float inset = size / 16.0f, edge = std::max(1.0f, size / 48.0f);
    const float room = size - 2 * inset - 2 * (size / 10.0f);
    Mask small = shrink(logo, std::min(room / logo.width, room / logo.height));
    const int left = (size - small.width) / 2, top = (size - small.height) / 2;
    std::vector<uint8_t> rgba(size_t(size) * size * 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float outer = tileCoverage(x, y, size, inset, size / 8.0f);
            float inner = tileCoverage(x, y, size, inset + edge, size / 8.0f - edge);
            float ink = 0;
            if (x >= left && y >= top && x < left + small.width && y < top + small.height)
                ink = small.at(x - left, y - top) * inner;
            uint8_t* p = &rgba[(size_t(y) * size + x) * 4];
            for (int k = 0; k < 3; ++k) {
                float face = kTile[k] + (kInk[k] - kTile[k]) * ink;
                float colour = outer > 0 ? kEdge[k] + (face - kEdge[k]) * (inner / outer) : 0;
                p[k] = uint8_t(std::lround(colour));
            }
            p[3] = uint8_t(std::lround(outer * 255));
        }
    return rgba;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) fail("usage: tamo-icons glimfont.png output-folder");
    Mask logo = layOut(twoByTwo(), blockGlyph(argv[1]));
    for (int size : {48, 128, 256}) {
        std::string path = std::string(argv[2]) + "/tamo-tracker-" + std::to_string(size) + ".png";
        std::vector<uint8_t> pixels = icon(logo, size);
        if (!stbi_write_png(path.c_str(), size, size, 4, pixels.data(), size * 4))
            fail("cannot write " + path);
        std::printf("wrote %s (%d x %d)\n", path.c_str(), size, size);
    }
    return 0;
}
