// Strip fonts: building glyphs from one image, selecting the font, measuring and drawing.
#include "graphics/font.h"

#include "graphics/drawing.h"
#include "graphics/image.h"
#include "graphics/renderer.h"

static constexpr int kStripGlyphs = 96;        // codes 32..127
static constexpr int kFirstChar = 32;
const String kDefaultFontName = U"glim_font.png";

std::shared_ptr<c_Font> buildStripFont(std::shared_ptr<c_Image> image, bool padded) {
    if (!image || image->width < kStripGlyphs) return nullptr;   // a cell must be >= 1 px
    int cellWidth = image->width / kStripGlyphs;
    // A padded cell gives up a pixel on every side; below 2 its glyph has negative size.
    if (padded && (cellWidth < 2 || image->height < 2)) return nullptr;
    int columns = image->width / cellWidth;
    int cellHeight = image->height;
    int inset = padded ? 1 : 0;
    int glyphWidth = padded ? cellWidth - 2 : cellWidth;
    int glyphHeight = padded ? cellHeight - 2 : cellHeight;

    auto font = std::make_shared<c_Font>();
    for (int i = 0; i < kStripGlyphs; ++i) {
        c_Glyph g;
        g.page = 0;
        g.code = kFirstChar + i;
        g.x = inset + (i % columns) * cellWidth;
        g.y = inset + (i / columns) * cellHeight;
        g.width = glyphWidth;
        g.height = glyphHeight;
        g.advance = glyphWidth;
        font->glyphs.emplace(g.code, g);
    }
    font->pages.push_back(std::move(image));
    font->pageCount = 1;
    font->firstChar = kFirstChar;
    font->lineHeight = float(glyphHeight);
    font->index();
    return font;
}

std::shared_ptr<c_Font> loadFont(const String& path, bool padded) {
    return buildStripFont(loadImage(path, 0), padded);
}

// None selects the default font, loading it the first time (and again after a failure).
void setFont(std::shared_ptr<c_Font> font) {
    c_GraphicsContext& c = *graphicsContext();
    if (!font) {
        if (!c.defaultFont) c.defaultFont = loadFont(kDefaultFontName, true);
        font = c.defaultFont;
    }
    c.font = std::move(font);
}

float textWidth(const String& text) {
    const c_Font* font = graphicsContext()->font.get();
    if (!font) return 0;
    float width = 0;
    for (char32_t code : text) {
        if (const c_Glyph* g = font->glyph(code)) width += float(g->advance);
    }
    return width;
}

// The rectangle a text's glyphs cover (left > right when none is drawn), and a hash of
// everything its glyphs' vertices follow from: the font, the place, the colour and the
// characters.
struct TextArea {
    float left = 1e9f, top = 1e9f, right = -1e9f, bottom = -1e9f;
    uint64_t hash = 0;
};

static TextArea textArea(const c_Font& font, const String& text, int penX, int penY) {
    TextArea a;
    a.hash = gxtkGraphics::mixed(uint64_t(reinterpret_cast<uintptr_t>(&font)),
                                 uint64_t(uint32_t(penX)) << 32 | uint32_t(penY));
    a.hash = gxtkGraphics::mixed(a.hash, renderDevice->packedColour());
    for (char32_t code : text) {
        a.hash = gxtkGraphics::mixed(a.hash, code);
        const c_Glyph* g = font.glyph(code);
        if (!g || g->page < 0 || g->page >= int(font.pages.size())) continue;
        const c_Image* page = font.pages[size_t(g->page)].get();
        float left = float(penX + g->xOffset) - page->handleX, top = float(penY + g->yOffset) - page->handleY;
        a.left = std::min(a.left, left);
        a.top = std::min(a.top, top);
        a.right = std::max(a.right, left + float(g->width));
        a.bottom = std::max(a.bottom, top + float(g->height));
        penX += g->advance;
    }
    return a;
}

void drawText(const String& text, int x, int y, float alignX, float alignY) {
    const c_Font* font = graphicsContext()->font.get();
    if (!font || !renderDevice) return;
    int penX = alignX == 0 ? x : int(float(x) - textWidth(text) * alignX);
    int penY = int(float(y) - alignY * font->lineHeight);
    // Untransformed, a print takes the text whole, and a text wholly outside the
    // scissor is left out.
    if (!graphicsContext()->transformed && (renderDevice->printing() || renderDevice->scissored())) {
        TextArea a = textArea(*font, text, penX, penY);
        const bool drawn = a.left <= a.right;
        if (renderDevice->printing()) {
            if (drawn) renderDevice->printDrawing(a.hash, a.left, a.top, a.right, a.bottom);
            return;
        }
        if (!drawn || !renderDevice->reaches(a.left, a.top, a.right, a.bottom)) return;
    }
    for (char32_t code : text) {
        const c_Glyph* g = font->glyph(code);
        if (!g || g->page < 0 || g->page >= int(font->pages.size())) continue;
        const c_Image* page = font->pages[size_t(g->page)].get();
        const c_Frame& f0 = page->frames[0];
        validateMatrix();
        renderDevice->drawSurfaceRect(page->surface.get(),
                                      float(penX + g->xOffset) - page->handleX,
                                      float(penY + g->yOffset) - page->handleY, g->x + f0.x,
                                      g->y + f0.y, g->width, g->height);
        penX += g->advance;
    }
}
