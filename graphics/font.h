#pragma once
// Strip bitmap fonts.
//
//   strip:   one image holding the 96 printable codes 32..127 side by side in equal
//            cells, one row; a padded strip has a 1-pixel border inside every cell
//   glyph:   a rectangle of a page image plus how far the pen moves after it
//   pen:     integer window pixels; text is a single line, drawn glyph by glyph as
//            textured quads, so a line of text is one run in the renderer's batch
//
// Code points without a glyph are skipped and do not move the pen.
#include <map>
#include <memory>
#include <vector>

#include "host/object.h"

class c_Image;

class c_Glyph : public Object {
public:
    int page = 0;                  // index into the font's pages
    int code = 0;                  // the character code it draws
    int x = 0, y = 0;              // rectangle in the page, relative to its frame 0
    int width = 0, height = 0;     // pixels
    int advance = 0;               // pen movement to the right, pixels
    int xOffset = 0, yOffset = 0;  // rectangle placement relative to the pen
};

class c_Font : public Object {
public:
    std::vector<std::shared_ptr<c_Image>> pages;   // a strip font has exactly one
    int pageCount = 0;
    int firstChar = 0;                              // 32 for a strip font
    float lineHeight = 0;                           // pixels, for vertical alignment
    std::map<int, c_Glyph> glyphs;                  // by character code
    std::vector<const c_Glyph*> byCode;             // of them, codes below 256 by index

    // Indexes the glyphs of codes below 256, once `glyphs` is complete.
    void index() {
        byCode.clear();
        for (const auto& [code, g] : glyphs) {
            if (code < 0 || code > 255) continue;
            if (size_t(code) >= byCode.size()) byCode.resize(size_t(code) + 1, nullptr);
            byCode[size_t(code)] = &g;
        }
    }
    const c_Glyph* glyph(char32_t code) const {
        if (code < byCode.size()) return byCode[code];
        auto it = glyphs.find(int(code));
        return it == glyphs.end() ? nullptr : &it->second;
    }
};

// The default font's strip in the data folder, loaded padded by setFont(none).
extern const String kDefaultFontName;

// Builds a strip font from one image; none if it is missing or narrower than 96 pixels,
// or padded with cells narrower or lower than 2 pixels.
std::shared_ptr<c_Font> buildStripFont(std::shared_ptr<c_Image> image, bool padded);
