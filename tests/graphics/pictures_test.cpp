// The committed interface pictures: what the generator makes, and what the screen
// relies on (cell grid, the block glyph, the note-off mark, the button rows).
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "gl_env.h"
#include "host/decode/image.h"

namespace {

std::optional<ImagePixels> decodeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    return decodeImage(bytes.data(), bytes.size());
}

std::string dataFile(const char* name) { return std::string(TAMO_SOURCE_DIR) + "/data/" + name; }

uint8_t alphaAt(const ImagePixels& p, int x, int y) {
    return p.data[(size_t(y) * p.width + x) * 4 + 3];
}

// Alpha of the 11 x 12 cell of `code` in a font strip.
uint8_t cellAlpha(const ImagePixels& strip, int code, int x, int y) {
    return alphaAt(strip, (code - 32) * 11 + x, y);
}

bool isNoteOffPart(int code) { return code == '{' || code == '|' || code == '}'; }

}  // namespace

TEST(Pictures, TheCommittedPicturesAreWhatTheGeneratorMakes) {
    TempDir dir;
    std::string tool = std::string(TAMO_BINARY_DIR) + "/tools/pictures/tamo-pictures";
    std::string command = tool + " " + TAMO_SOURCE_DIR + "/tools/pictures/glyphs.txt " +
                          dir.path() + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const char* name : {"glimfont.png", "glim_font.png", "button1.png", "button_navrow.png"}) {
        auto made = decodeFile(dir.file(name));
        auto committed = decodeFile(dataFile(name));
        ASSERT_TRUE(made) << name;
        ASSERT_TRUE(committed) << name << " is missing from data/";
        EXPECT_EQ(made->width, committed->width) << name;
        EXPECT_EQ(made->height, committed->height) << name;
        EXPECT_TRUE(made->data == committed->data) << name << " differs: run the pictures target";
    }
}

TEST(Pictures, TheCommittedIconsAreWhatTheGeneratorMakesFromTheFont) {
    TempDir dir;
    std::string tool = std::string(TAMO_BINARY_DIR) + "/tools/icons/tamo-icons";
    std::string command = tool + " " + dataFile("glimfont.png") + " " + dir.path() + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (int size : {48, 128, 256}) {
        std::string name = "tamo-tracker-" + std::to_string(size) + ".png";
        auto made = decodeFile(dir.file(name));
        auto committed = decodeFile(dataFile(("icons/" + name).c_str()));
        ASSERT_TRUE(made) << name;
        ASSERT_TRUE(committed) << name << " is missing from data/icons";
        EXPECT_EQ(committed->width, size);
        EXPECT_EQ(committed->height, size);
        EXPECT_TRUE(made->data == committed->data) << name << " differs: run the icons target";
        // The logo's ink: the screen's text colour at full strength somewhere on the tile.
        int ink = 0;
        for (size_t k = 0; k < made->data.size(); k += 4)
            if (made->data[k] == 148 && made->data[k + 1] == 144 && made->data[k + 2] == 164) ++ink;
        EXPECT_GT(ink, size * size / 20) << name << " shows no logo";
    }
}

TEST(Pictures, FontStripsHold96WhiteCellsOf11By12) {
    for (const char* name : {"glimfont.png", "glim_font.png"}) {
        auto strip = decodeFile(dataFile(name));
        ASSERT_TRUE(strip) << name;
        EXPECT_EQ(strip->width, 1056);
        EXPECT_EQ(strip->height, 12);
        ASSERT_EQ(strip->depth, 4);
        for (size_t k = 0; k < strip->data.size(); k += 4) {
            uint8_t a = strip->data[k + 3];
            ASSERT_TRUE(a == 0 || a == 255) << name << ": partial alpha";
            if (a) ASSERT_EQ(strip->data[k] & strip->data[k + 1] & strip->data[k + 2], 255)
                       << name << ": ink must be white so the colour tints it";
        }
    }
}

TEST(Pictures, EveryOrdinaryGlyphHasInkInsideItsSevenByNineBox) {
    auto strip = decodeFile(dataFile("glimfont.png"));
    ASSERT_TRUE(strip);
    for (int code = 33; code < 128; ++code) {
        if (code == '[' || isNoteOffPart(code)) continue;
        int ink = 0;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 11; ++x) {
                bool inBox = x >= 2 && x < 9 && y >= 1 && y < 10;
                if (cellAlpha(*strip, code, x, y)) {
                    ++ink;
                    ASSERT_TRUE(inBox) << "'" << char(code) << "' touches its neighbours at "
                                       << x << ", " << y;
                }
            }
        EXPECT_GE(ink, 2) << "'" << char(code) << "' is blank";
    }
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 11; ++x) ASSERT_EQ(cellAlpha(*strip, ' ', x, y), 0);
}

TEST(Pictures, TheBlockFillsItsCellAndTheNoteOffMarkIsOneBar) {
    auto strip = decodeFile(dataFile("glimfont.png"));
    ASSERT_TRUE(strip);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 11; ++x) ASSERT_EQ(cellAlpha(*strip, '[', x, y), 255) << x << "," << y;
    // "{|}" side by side: the middle rows are inked without a gap from x 1 to x 31.
    int first = ('{' - 32) * 11;
    for (int y : {5, 6})
        for (int x = 1; x < 32; ++x) ASSERT_EQ(alphaAt(*strip, first + x, y), 255) << x << "," << y;
    EXPECT_EQ(alphaAt(*strip, first + 16, 2), 0) << "the mark should be a bar, not a block";
}

TEST(Pictures, ThePaddedStripKeepsEveryCellBorderEmpty) {
    auto strip = decodeFile(dataFile("glim_font.png"));
    ASSERT_TRUE(strip);
    for (int code = 32; code < 128; ++code)
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 11; ++x)
                if (x == 0 || y == 0 || x == 10 || y == 11)
                    ASSERT_EQ(cellAlpha(*strip, code, x, y), 0) << code << " at " << x << "," << y;
    for (int y = 1; y < 11; ++y)
        for (int x = 1; x < 10; ++x) ASSERT_EQ(cellAlpha(*strip, '[', x, y), 255);
}

TEST(Pictures, ButtonsFillTheirClickableRows) {
    auto spin = decodeFile(dataFile("button1.png"));
    auto nav = decodeFile(dataFile("button_navrow.png"));
    ASSERT_TRUE(spin && nav);
    EXPECT_EQ(spin->width, 32);
    EXPECT_EQ(nav->width, 32);
    ASSERT_GE(nav->height, 38);
    ASSERT_EQ(spin->depth, 4);
    ASSERT_EQ(nav->depth, 4);
    auto opaqueRows = [](const ImagePixels& p, int from, int to) {
        for (int y = from; y < to; ++y)
            for (int x = 0; x < p.width; ++x)
                if (alphaAt(p, x, y) != 255) return false;
        return true;
    };
    auto clearRows = [](const ImagePixels& p, int from, int to) {
        for (int y = from; y < to; ++y)
            for (int x = 0; x < p.width; ++x)
                if (alphaAt(p, x, y) != 0) return false;
        return true;
    };
    EXPECT_TRUE(clearRows(*spin, 0, 2));
    EXPECT_TRUE(opaqueRows(*spin, 2, 14));
    EXPECT_TRUE(clearRows(*spin, 14, spin->height));
    EXPECT_TRUE(clearRows(*nav, 0, 2));
    EXPECT_TRUE(opaqueRows(*nav, 2, 38));
    EXPECT_TRUE(clearRows(*nav, 38, nav->height));
    // minus and plus differ only in the vertical stroke of the plus
    auto rgbAt = [](const ImagePixels& p, int x, int y) {
        const uint8_t* q = &p.data[(size_t(y) * p.width + x) * 4];
        return q[0] + q[1] + q[2];
    };
    EXPECT_LT(rgbAt(*spin, 7, 4), rgbAt(*spin, 16 + 7, 4)) << "the plus has no vertical stroke";
    EXPECT_EQ(rgbAt(*spin, 7, 7), rgbAt(*spin, 16 + 7, 7)) << "both carry the bar";
    EXPECT_TRUE(std::vector<uint8_t>(spin->data.begin(), spin->data.begin() + 32 * 14 * 4) ==
                std::vector<uint8_t>(nav->data.begin(), nav->data.begin() + 32 * 14 * 4))
        << "the order spinner should look like the other spinners";
}
