// Generates the interface pictures of the data folder:
//   glimfont.png         1056 x 12, 96 cells of 11 x 12 for codes 32..127, white ink
//                        with alpha, so the drawing colour tints it
//   glim_font.png        the same glyphs, each cell with a 1-pixel empty border
//   button1.png          32 x 16, a minus and a plus button in rows 2..13
//   button_navrow.png    32 x 40, a minus/plus pair in rows 2..13, an insert button
//                        in rows 14..25, a delete button in rows 26..37
// The glyphs come from a text bitmap file (glyphs.txt beside this program); the
// buttons are drawn here.
//
// Usage: tamo-pictures [glyphs.txt [output-folder]]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <stb_image_write.h>

#ifndef TAMO_PICTURES_GLYPHS
#define TAMO_PICTURES_GLYPHS "glyphs.txt"
#endif
#ifndef TAMO_PICTURES_OUTPUT
#define TAMO_PICTURES_OUTPUT "."
#endif

namespace {

constexpr int kCellW = 11, kCellH = 12;          // one character cell
constexpr int kBoxW = 7, kBoxH = 9;              // a glyph box within the cell
constexpr int kBoxX = 2, kBoxY = 1;              // where the box sits in the cell
constexpr int kFirst = 32, kCount = 96;          // codes 32..127

struct Rgba {
    uint8_t r, g, b, a;
};

struct Picture {
    int width, height;
    std::vector<Rgba> pixels;
    Picture(int w, int h) : width(w), height(h), pixels(size_t(w) * h, Rgba{0, 0, 0, 0}) {}
    void set(int x, int y, Rgba c) {
        if (x >= 0 && y >= 0 && x < width && y < height) pixels[size_t(y) * width + x] = c;
    }
    void fill(int x, int y, int w, int h, Rgba c) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) set(i, j, c);
    }
    bool save(const std::string& path) const {
        return stbi_write_png(path.c_str(), width, height, 4, pixels.data(), width * 4) != 0;
    }
};

// A glyph as a full 11 x 12 cell of ink flags, rows top down.
using Cell = std::vector<std::string>;

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "tamo-pictures: %s\n", message.c_str());
    std::exit(1);
}

Cell blankCell() { return Cell(kCellH, std::string(kCellW, '.')); }

// Reads "glyph CODE" blocks (7-column box rows) and "cell CODE" blocks (11 x 12 rows).
std::map<int, Cell> readGlyphs(const std::string& path) {
    std::ifstream in(path);
    if (!in) fail("cannot read " + path);
    std::map<int, Cell> glyphs;
    std::string line;
    int code = -1, row = 0, lineNo = 0;
    bool whole = false;
    while (std::getline(in, line)) {
        ++lineNo;
        std::string where = path + ":" + std::to_string(lineNo) + ": ";
        if (line.empty() || (line[0] == '#' && code < 0)) {
            if (line.empty()) code = -1;
            continue;
        }
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (word == "glyph" || word == "cell") {
            if (!(words >> code) || code < kFirst || code >= kFirst + kCount)
                fail(where + "a code 32..127 must follow \"" + word + "\"");
            if (glyphs.count(code)) fail(where + "code " + std::to_string(code) + " twice");
            whole = word == "cell";
            glyphs[code] = blankCell();
            row = 0;
            continue;
        }
        if (code < 0) fail(where + "rows outside a glyph block");
        size_t width = whole ? kCellW : kBoxW;
        int rows = whole ? kCellH : kBoxH;
        if (line.size() != width || line.find_first_not_of("#.") != std::string::npos)
            fail(where + "a row must be " + std::to_string(width) + " of '#' and '.'");
        if (row >= rows) fail(where + "too many rows");
        Cell& cell = glyphs[code];
        for (size_t i = 0; i < width; ++i) {
            if (whole) cell[size_t(row)][i] = line[i];
            else cell[size_t(kBoxY + row)][kBoxX + i] = line[i];
        }
        ++row;
    }
    for (int c = kFirst; c < kFirst + kCount; ++c)
        if (!glyphs.count(c)) fail(path + ": no glyph for code " + std::to_string(c));
    return glyphs;
}

// The strip; with a border, the cell's outer ring stays empty.
Picture fontStrip(const std::map<int, Cell>& glyphs, bool bordered) {
    Picture strip(kCellW * kCount, kCellH);
    const Rgba ink{255, 255, 255, 255};
    for (const auto& [code, cell] : glyphs) {
        int x0 = (code - kFirst) * kCellW;
        for (int y = 0; y < kCellH; ++y)
            for (int x = 0; x < kCellW; ++x) {
                bool edge = x == 0 || y == 0 || x == kCellW - 1 || y == kCellH - 1;
                if (cell[size_t(y)][size_t(x)] == '#' && !(bordered && edge))
                    strip.set(x0 + x, y, ink);
            }
    }
    return strip;
}

// ---- [buttons] ----

const Rgba kOutline{28, 18, 38, 255};
const Rgba kFace{112, 90, 134, 255};
const Rgba kLight{172, 158, 194, 255};
const Rgba kShade{66, 48, 84, 255};
const Rgba kSymbol{238, 234, 246, 255};

// A raised button face: dark outline, light top-left edge, shaded bottom-right edge.
void buttonFace(Picture& p, int x, int y, int w, int h) {
    p.fill(x, y, w, h, kOutline);
    p.fill(x + 1, y + 1, w - 2, h - 2, kFace);
    p.fill(x + 1, y + 1, w - 2, 1, kLight);
    p.fill(x + 1, y + 1, 1, h - 2, kLight);
    p.fill(x + 1, y + h - 2, w - 2, 1, kShade);
    p.fill(x + w - 2, y + 1, 1, h - 2, kShade);
}

// A 16 x 12 minus button and a 16 x 12 plus button side by side at (0, y).
void spinnerPair(Picture& p, int y) {
    buttonFace(p, 0, y, 16, 12);
    p.fill(4, y + 5, 8, 2, kSymbol);
    buttonFace(p, 16, y, 16, 12);
    p.fill(16 + 4, y + 5, 8, 2, kSymbol);
    p.fill(16 + 7, y + 2, 2, 8, kSymbol);
}

// A 32 x 12 button labelled with three capitals of the font.
void labelButton(Picture& p, int y, const std::map<int, Cell>& glyphs, const char* label) {
    buttonFace(p, 0, y, 32, 12);
    int x = 4;
    for (const char* c = label; *c; ++c, x += kBoxW + 1) {
        const Cell& cell = glyphs.at(*c);
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < kBoxW; ++col)
                if (cell[size_t(kBoxY + row)][size_t(kBoxX + col)] == '#')
                    p.set(x + col, y + 3 + row, kSymbol);
    }
}

void save(const Picture& p, const std::string& folder, const char* name) {
    std::string path = folder + "/" + name;
    if (!p.save(path)) fail("cannot write " + path);
    std::printf("wrote %s (%d x %d)\n", path.c_str(), p.width, p.height);
}

}  // namespace

int main(int argc, char** argv) {
    std::string glyphPath = argc > 1 ? argv[1] : TAMO_PICTURES_GLYPHS;
    std::string folder = argc > 2 ? argv[2] : TAMO_PICTURES_OUTPUT;
    std::map<int, Cell> glyphs = readGlyphs(glyphPath);

    save(fontStrip(glyphs, false), folder, "glimfont.png");
    save(fontStrip(glyphs, true), folder, "glim_font.png");

    Picture buttons(32, 16);
    spinnerPair(buttons, 2);
    save(buttons, folder, "button1.png");

    Picture navrow(32, 40);
    spinnerPair(navrow, 2);
    labelButton(navrow, 14, glyphs, "INS");
    labelButton(navrow, 26, glyphs, "DEL");
    save(navrow, folder, "button_navrow.png");
    return 0;
}
