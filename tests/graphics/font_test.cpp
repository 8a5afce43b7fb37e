// Strip fonts: glyph metrics, text placement and alignment, and real text on screen.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "gl_env.h"
#include "host/decode/image.h"

namespace {

class Fonts : public GlTest {
protected:
    // A strip of `width` x `height` pixels, opaque white.
    std::string strip(const char* name, int width, int height) {
        std::vector<uint8_t> bytes(size_t(width) * height * 4, 255);
        EXPECT_TRUE(writePng(dir.file(name), width, height, 4, bytes));
        return dir.file(name);
    }
    // The x of every quad's first corner in the open batch.
    std::vector<float> quadXs() {
        std::vector<float> xs;
        for (int k = 0; k < gfx().vertexCount(); k += 4) xs.push_back(gfx().vertices()[k].x);
        return xs;
    }
    void TearDown() override {
        setFont(nullptr);
        GlTest::TearDown();
    }
    TempDir dir;
};

std::optional<ImagePixels> decodeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    return decodeImage(bytes.data(), bytes.size());
}

}  // namespace

TEST_F(Fonts, AStripGivesElevenByTwelveGlyphsForCodes32To127) {
    auto font = loadFont(widen(strip("f.png", 1056, 12)), false);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->glyphs.size(), 96u);
    EXPECT_EQ(font->firstChar, 32);
    EXPECT_EQ(font->pageCount, 1);
    EXPECT_FLOAT_EQ(font->lineHeight, 12);
    const c_Glyph* a = font->glyph(U'A');
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->x, 363);
    EXPECT_EQ(a->y, 0);
    EXPECT_EQ(a->width, 11);
    EXPECT_EQ(a->height, 12);
    EXPECT_EQ(a->advance, 11);
    EXPECT_NE(font->glyph(127), nullptr);
    EXPECT_EQ(font->glyph(31), nullptr);
    EXPECT_EQ(font->glyph(128), nullptr);
}

TEST_F(Fonts, APaddedStripGivesNineByTenGlyphsInsideTheirBorders) {
    auto font = loadFont(widen(strip("f.png", 1056, 12)), true);
    ASSERT_NE(font, nullptr);
    EXPECT_FLOAT_EQ(font->lineHeight, 10);
    for (int i : {0, 1, 33, 95}) {
        const c_Glyph* g = font->glyph(char32_t(32 + i));
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->x, 1 + 11 * i);
        EXPECT_EQ(g->y, 1);
        EXPECT_EQ(g->width, 9);
        EXPECT_EQ(g->height, 10);
        EXPECT_EQ(g->advance, 9);
    }
}

TEST_F(Fonts, AStripTooNarrowForItsCellsOrMissingGivesNone) {
    EXPECT_EQ(loadFont(widen(strip("n.png", 95, 12)), false), nullptr);
    EXPECT_EQ(loadFont(widen(dir.file("missing.png")), false), nullptr);
    EXPECT_NE(loadFont(widen(strip("m.png", 96, 5)), false), nullptr) << "1-pixel cells work";
    // A padded cell loses two pixels each way: one narrower or lower than 2 would give
    // glyphs of negative size.
    EXPECT_EQ(loadFont(widen(strip("p.png", 191, 12)), true), nullptr);
    EXPECT_EQ(loadFont(widen(strip("q.png", 192, 1)), true), nullptr);
    EXPECT_NE(loadFont(widen(strip("r.png", 192, 2)), true), nullptr) << "empty glyphs are no fault";
}

TEST_F(Fonts, TextIsPlacedByPenAndAlignment) {
    setFont(loadFont(widen(strip("f.png", 1056, 12)), false));
    EXPECT_FLOAT_EQ(textWidth(U"AB"), 22);
    EXPECT_FLOAT_EQ(textWidth(U""), 0);
    EXPECT_FLOAT_EQ(textWidth(U"A\u00e9B"), 22) << "a code point without a glyph adds no width";
    render([&] {
        drawText(U"AB", 10, 20);
        EXPECT_EQ(quadXs(), (std::vector<float>{10, 21}));
        EXPECT_FLOAT_EQ(gfx().vertices()[0].y, 20);
        EXPECT_FLOAT_EQ(gfx().vertices()[0].u, 363.0f / 1056);
    });
    render([&] {
        drawText(U"AB", 10, 20, 1, 0);
        EXPECT_EQ(quadXs(), (std::vector<float>{-12, -1})) << "right-aligned text ends at x";
    });
    render([&] {
        drawText(U"ABC", 100, 20, 0.5f, 0);
        EXPECT_EQ(quadXs()[0], 83) << "100 - 16.5 truncates to 83";
    });
    render([&] {
        drawText(U"A", 10, 20, 0, 1);
        EXPECT_FLOAT_EQ(gfx().vertices()[0].y, 8) << "bottom-aligned by the line height";
        drawText(U"A", 10, 20, 0, 0.5f);
        EXPECT_FLOAT_EQ(gfx().vertices()[4].y, 14);
    });
    render([&] {
        drawText(U"A\u00e9\nB", 10, 20);
        EXPECT_EQ(quadXs(), (std::vector<float>{10, 21})) << "skipped code points moved the pen";
    });
}

TEST_F(Fonts, TheDefaultFontIsLoadedOnceAndRetriedAfterAFailure) {
    c_GraphicsContext& c = *graphicsContext();
    c.defaultFont = nullptr;
    useDataRoot(dir.path());   // a data folder without fonts
    setFont(nullptr);
    EXPECT_EQ(c.font, nullptr);
    render([&] {
        drawText(U"AB", 0, 0);   // no font: nothing, no crash
        EXPECT_EQ(gfx().vertexCount(), 0);
    });

    std::filesystem::create_directories(dir.file("data"));
    std::filesystem::copy_file(std::string(TAMO_SOURCE_DIR) + "/data/glim_font.png",
                               dir.file("data/glim_font.png"));
    setFont(nullptr);
    ASSERT_NE(c.font, nullptr) << "the fallback was not tried again";
    EXPECT_EQ(c.font, c.defaultFont);
    EXPECT_FLOAT_EQ(c.font->lineHeight, 10) << "the fallback loads padded";
    std::shared_ptr<c_Font> first = c.font;
    std::filesystem::remove(dir.file("data/glim_font.png"));
    setFont(nullptr);
    EXPECT_EQ(c.font, first) << "the loaded default font is reused";
}

TEST_F(Fonts, ALineOfTextMatchesTheFontsGlyphCellsPixelForPixel) {
    const std::string path = std::string(TAMO_SOURCE_DIR) + "/data/glimfont.png";
    auto strip = decodeFile(path);
    ASSERT_TRUE(strip);
    ASSERT_EQ(strip->depth, 4);
    auto font = loadFont(U"glimfont.png", false);
    ASSERT_NE(font, nullptr);
    setFont(font);

    const std::string text = "01: C-3 8 1 {|} [Tamo] ~Qgjy_@#";
    const int x0 = 7, y0 = 30, w = int(text.size()) * 11;
    for (int tinted = 0; tinted < 2; ++tinted) {
        std::vector<int> px;
        render([&] {
            clearScreen(0, 0, 0);
            if (tinted) setColor(148, 144, 164);
            drawText(widen(text), x0, y0);
            px = grab(x0, y0, w, 12);
        });
        int ink = tinted ? argb(148, 144, 164) : argb(255, 255, 255);
        for (size_t i = 0; i < text.size(); ++i) {
            int cell = (text[i] - 32) * 11;
            for (int y = 0; y < 12; ++y)
                for (int x = 0; x < 11; ++x) {
                    uint8_t alpha = strip->data[(size_t(y) * 1056 + cell + x) * 4 + 3];
                    int want = alpha == 255 ? ink : argb(0, 0, 0);
                    ASSERT_EQ(px[size_t(y) * w + i * 11 + x], want)
                        << "'" << text[i] << "' pixel " << x << ", " << y
                        << (tinted ? " (tinted)" : "");
                }
        }
    }
}

TEST_F(Fonts, ALineOfTextIsOneDrawCallWhateverTheColours) {
    setFont(loadFont(U"glimfont.png", false));
    render([&] {
        gfx().resetDrawCalls();
        for (int k = 0; k < 10; ++k) {
            setColor(float(20 * k), 100, 100);
            drawText(U"PATTERN 00", 0, 12 * k);
        }
        EXPECT_EQ(gfx().drawCallCount(), 0);
        EXPECT_EQ(gfx().vertexCount(), 400);
    });
    EXPECT_EQ(gfx().drawCallCount(), 1);
}
