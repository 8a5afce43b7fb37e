// What Mesa actually paints: pixels read back from the window.
#include <GL/gl.h>
#include <GLFW/glfw3.h>
#include <unistd.h>

#include <cstdlib>

#include "gl_env.h"

namespace {

class ReadBack : public GlTest {
protected:
    TempDir dir;
};

int channel(int pixel, int shift) { return (uint32_t(pixel) >> shift) & 255; }

// Within one step per channel (for blends whose rounding the driver chooses).
::testing::AssertionResult near(int got, int want) {
    for (int shift : {0, 8, 16, 24})
        if (std::abs(channel(got, shift) - channel(want, shift)) > 1)
            return ::testing::AssertionFailure() << std::hex << "got 0x" << uint32_t(got)
                                                 << ", want 0x" << uint32_t(want);
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(ReadBack, AFilledRectangleCoversExactlyItsPixels) {
    std::vector<int> px;
    render([&] {
        clearScreen(0, 0, 0);
        setColor(10, 200, 30);
        drawRect(5, 7, 20, 10);
        px = grab(0, 0, 40, 30);
    });
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            bool inside = x >= 5 && x < 25 && y >= 7 && y < 17;
            ASSERT_EQ(px[size_t(y) * 40 + x], inside ? argb(10, 200, 30) : argb(0, 0, 0))
                << "pixel " << x << ", " << y;
        }
}

TEST_F(ReadBack, ReadPixelsHonoursOffsetAndPitchAndRefusesAShortArray) {
    std::vector<int> px(100, 7);
    render([&] {
        clearScreen(0, 0, 255);
        setColor(255, 0, 0);
        drawRect(0, 0, 2, 1);
        readPixels(px, 0, 0, 3, 2, 5, 10);
        std::vector<int> small(3, 7);
        readPixels(small, 0, 0, 3, 2, 0, 3);
        EXPECT_EQ(small, std::vector<int>(3, 7)) << "a too-small array was written";
    });
    EXPECT_EQ(px[4], 7);
    EXPECT_EQ(px[5], argb(255, 0, 0));
    EXPECT_EQ(px[6], argb(255, 0, 0));
    EXPECT_EQ(px[7], argb(0, 0, 255));
    EXPECT_EQ(px[8], 7);
    EXPECT_EQ(px[15], argb(0, 0, 255)) << "the second row goes one pitch further";
}

TEST_F(ReadBack, TheScissorRectangleLimitsDrawing) {
    std::vector<int> px;
    render([&] {
        clearScreen(0, 0, 0);
        setScissor(10, 20, 30, 5);
        setColor(255, 255, 255);
        drawRect(0, 0, 100, 100);
        setScissor(0, 0, 640, 475);
        px = grab(0, 0, 60, 40);
    });
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) {
            bool inside = x >= 10 && x < 40 && y >= 20 && y < 25;
            ASSERT_EQ(px[size_t(y) * 60 + x], inside ? argb(255, 255, 255) : argb(0, 0, 0))
                << "pixel " << x << ", " << y;
        }
}

TEST_F(ReadBack, BlendOneAddsAndEveryOtherModeMixesByAlpha) {
    std::vector<int> add, mix;
    render([&] {
        clearScreen(100, 0, 40);
        setBlend(1);
        setColor(50, 60, 0);
        drawRect(0, 0, 4, 4);
        add = grab(1, 1, 1, 1);
        setBlend(7);
        setColor(0, 200, 0);
        setAlpha(0.5f);
        drawRect(0, 0, 4, 4);
        mix = grab(1, 1, 1, 1);
    });
    EXPECT_EQ(add[0], argb(150, 60, 40));
    // source (0, 100, 0, 127) premultiplied, over (150, 60, 40) kept by 128/255
    EXPECT_TRUE(near(mix[0], argb(75, 130, 20)));
}

TEST_F(ReadBack, APremultipliedPictureLandsAtItsPosition) {
    // 3 x 2 RGBA: half-transparent orange, opaque white, clear; then blue, clear, green.
    std::vector<uint8_t> bytes = {200, 100, 50, 128, 255, 255, 255, 255, 9, 9, 9, 0,
                                  0, 0, 255, 255, 77, 77, 77, 0, 0, 255, 0, 255};
    ASSERT_TRUE(writePng(dir.file("p.png"), 3, 2, 4, bytes));
    auto image = loadImage(widen(dir.file("p.png")));
    ASSERT_NE(image, nullptr);
    std::vector<int> px;
    render([&] {
        clearScreen(0, 0, 0);
        drawImage(image.get(), 30, 40, 0);
        px = grab(29, 39, 5, 4);
    });
    auto at = [&](int x, int y) { return px[size_t(y - 39) * 5 + (x - 29)]; };
    EXPECT_EQ(at(29, 39), argb(0, 0, 0));
    EXPECT_EQ(at(30, 40), argb(100, 50, 25)) << "not premultiplied, or misplaced";
    EXPECT_EQ(at(31, 40), argb(255, 255, 255));
    EXPECT_EQ(at(32, 40), argb(0, 0, 0)) << "a clear pixel must leave the background";
    EXPECT_EQ(at(30, 41), argb(0, 0, 255));
    EXPECT_EQ(at(31, 41), argb(0, 0, 0));
    EXPECT_EQ(at(32, 41), argb(0, 255, 0));
    EXPECT_EQ(at(33, 41), argb(0, 0, 0));
    EXPECT_EQ(at(30, 42), argb(0, 0, 0));

    render([&] {   // over a colour, the background shows through by 1 - alpha
        clearScreen(0, 0, 200);
        setColor(255, 255, 255);
        drawImage(image.get(), 30, 40, 0);
        px = grab(29, 39, 5, 4);
    });
    EXPECT_TRUE(near(at(30, 40), argb(100, 50, 25 + 100)));
    EXPECT_EQ(at(32, 40), argb(0, 0, 200));
}

TEST_F(ReadBack, TheDrawingColourTintsAPicture) {
    std::vector<uint8_t> white(4 * 4, 255);
    ASSERT_TRUE(writePng(dir.file("w.png"), 2, 2, 4, white));
    auto image = loadImage(widen(dir.file("w.png")));
    ASSERT_NE(image, nullptr);
    std::vector<int> px;
    render([&] {
        clearScreen(0, 0, 0);
        setColor(255, 0, 255);
        drawImage(image.get(), 0, 0, 0);
        px = grab(0, 0, 1, 1);
    });
    EXPECT_EQ(px[0], argb(255, 0, 255));
}

TEST_F(ReadBack, PointsLinesOvalsAndPolygonsPaintWhereTheyAre) {
    std::vector<int> px;
    render([&] {
        clearScreen(0, 0, 0);
        setColor(255, 255, 255);
        drawPoint(3, 2);
        drawLine(0, 10, 19, 10);
        drawOval(20, 0, 20, 20);
        drawPoly({0, 20, 10, 20, 10, 30, 0, 30, -1, 25});
        px = grab(0, 0, 40, 31);
    });
    auto at = [&](int x, int y) { return px[size_t(y) * 40 + x]; };
    EXPECT_EQ(at(3, 2), argb(255, 255, 255));
    EXPECT_EQ(at(4, 2), argb(0, 0, 0));
    EXPECT_EQ(at(10, 10), argb(255, 255, 255));
    EXPECT_EQ(at(10, 11), argb(0, 0, 0));
    EXPECT_EQ(at(30, 10), argb(255, 255, 255)) << "oval centre";
    EXPECT_EQ(at(21, 1), argb(0, 0, 0)) << "oval corner";
    EXPECT_EQ(at(5, 25), argb(255, 255, 255)) << "polygon inside";
    EXPECT_EQ(at(15, 25), argb(0, 0, 0));
}

TEST_F(ReadBack, GreyAndRgbPicturesDrawInTheirOwnFormats) {
    ASSERT_TRUE(writePng(dir.file("l.png"), 1, 1, 1, {90}));
    ASSERT_TRUE(writePng(dir.file("la.png"), 1, 1, 2, {200, 128}));
    ASSERT_TRUE(writePng(dir.file("rgb.png"), 1, 1, 3, {10, 20, 30}));
    auto grey = loadImage(widen(dir.file("l.png")));
    auto greyAlpha = loadImage(widen(dir.file("la.png")));
    auto rgb = loadImage(widen(dir.file("rgb.png")));
    ASSERT_TRUE(grey && greyAlpha && rgb);
    EXPECT_EQ(greyAlpha->surface->depth(), 2);
    std::vector<int> px;
    render([&] {
        clearScreen(0, 0, 0);
        drawImage(grey.get(), 0, 0, 0);
        drawImage(greyAlpha.get(), 1, 0, 0);
        drawImage(rgb.get(), 2, 0, 0);
        px = grab(0, 0, 3, 1);
    });
    EXPECT_EQ(px[0], argb(90, 90, 90));
    EXPECT_EQ(px[1], argb(100, 100, 100)) << "grey with alpha is premultiplied";
    EXPECT_EQ(px[2], argb(10, 20, 30));
}

// Zoomed, the window shows the 1x picture with every pixel an exact block: rectangles,
// a picture, a level and an upright line (a zoom thick), a point and the scissor.
TEST_F(ReadBack, AtZoomTwoAndThreeThePictureIsTheOneTimesPictureInBlocks) {
    std::vector<uint8_t> bytes = {200, 100, 50, 255, 255, 255, 255, 255, 9, 9, 9, 0,
                                  0, 0, 255, 255, 77, 77, 77, 0, 0, 255, 0, 255};
    ASSERT_TRUE(writePng(dir.file("p.png"), 3, 2, 4, bytes));
    auto image = loadImage(widen(dir.file("p.png")));
    ASSERT_NE(image, nullptr);
    constexpr int kW = 40, kH = 30;
    auto scene = [&] {
        clearScreen(0, 0, 0);
        setColor(255, 255, 255);
        drawRect(1, 1, 5, 3);
        drawImage(image.get(), 8, 2, 0);
        setColor(171.6f, 37.2f, 104.4f);
        drawLine(2, 10, 30, 10);
        drawLine(35, 2, 35, 20);
        drawPoint(3, 20);
        setScissor(10, 15, 10, 10);
        setColor(0, 255, 0);
        drawRect(5, 12, 30, 30);
        setScissor(0, 0, float(deviceWidth()), float(deviceHeight()));
    };
    std::vector<int> one;
    render([&] {
        scene();
        one = grab(0, 0, kW, kH);
    });
    for (int zoom : {2, 3}) {
        env->host->setZoom(zoom);
        std::vector<uint32_t> raw(size_t(kW * zoom) * size_t(kH * zoom));
        int height = kWindowHeight * zoom;
        render([&] {
            scene();
            gfx().flush();
            glReadPixels(0, height - kH * zoom, kW * zoom, kH * zoom, GL_BGRA, GL_UNSIGNED_BYTE,
                         raw.data());
        });
        int wrong = 0;
        for (int y = 0; y < kH * zoom; ++y)
            for (int x = 0; x < kW * zoom; ++x) {
                uint32_t got = raw[size_t(kH * zoom - 1 - y) * size_t(kW * zoom) + size_t(x)];
                if (got != uint32_t(one[size_t(y / zoom) * kW + size_t(x / zoom)])) ++wrong;
            }
        EXPECT_EQ(wrong, 0) << "pixels that are not their layout pixel's block at zoom " << zoom;
    }
    env->host->setZoom(1);
    EXPECT_EQ(one[10 * kW + 2], argb(171, 37, 104)) << "the 1x line is where it was";
    EXPECT_EQ(one[10 * kW + 30], argb(0, 0, 0)) << "a line leaves its last pixel";
}
