// Pictures: decoding, premultiplication, textures, image flags and the pixel update.
#include <GL/gl.h>

#include <fstream>
#include <iterator>

#include "gl_env.h"
#include "host/decode/image.h"

namespace {

class Images : public GlTest {
protected:
    // A w x h picture with `channels` channels, every byte from `fill`.
    std::string picture(const char* name, int w, int h, int channels, uint8_t fill = 200) {
        std::vector<uint8_t> bytes(size_t(w) * h * channels, fill);
        EXPECT_TRUE(writePng(dir.file(name), w, h, channels, bytes));
        return dir.file(name);
    }
    std::vector<uint8_t> fileBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    TempDir dir;
};

}  // namespace

TEST_F(Images, DecodingKeepsTheFilesOwnChannelCountAndRefusesGarbage) {
    for (int channels = 1; channels <= 4; ++channels) {
        std::vector<uint8_t> file = fileBytes(picture("c.png", 5, 3, channels));
        auto pixels = decodeImage(file.data(), file.size());
        ASSERT_TRUE(pixels) << channels << " channels";
        EXPECT_EQ(pixels->depth, channels);
        EXPECT_EQ(pixels->width, 5);
        EXPECT_EQ(pixels->height, 3);
        EXPECT_EQ(pixels->data.size(), size_t(5 * 3 * channels));
    }
    std::vector<uint8_t> file = fileBytes(picture("t.png", 40, 40, 4));
    EXPECT_FALSE(decodeImage(file.data(), file.size() / 2)) << "a truncated file decoded";
    std::vector<uint8_t> garbage(300, 0x5a);
    EXPECT_FALSE(decodeImage(garbage.data(), garbage.size()));
    EXPECT_FALSE(decodeImage(nullptr, 0));
    // A header alone may claim a picture of gigabytes; it is refused before decoding.
    const std::string huge = "P5\n30000 30000\n255\n";
    EXPECT_FALSE(decodeImage(reinterpret_cast<const uint8_t*>(huge.data()), huge.size()));
    const std::string wide = "P5\n20000 1\n255\n" + std::string(20000, 'x');
    EXPECT_FALSE(decodeImage(reinterpret_cast<const uint8_t*>(wide.data()), wide.size()));
    // A header number of ten digits overflows the decoder's int (this one wraps to 1).
    const std::string wrapped = "P5\n4294967297 1\n255\nab";
    EXPECT_FALSE(decodeImage(reinterpret_cast<const uint8_t*>(wrapped.data()), wrapped.size()));
    // 35 bytes of TGA claiming 4112 x 4112 pixels: the decoder would make up the rest.
    std::vector<uint8_t> claim = fileBytes(TAMO_SOURCE_DIR
        "/tests/e2e/fuzz_cases/loadpicture/tga-header-claiming-17-million-pixels");
    ASSERT_EQ(claim.size(), 35u);
    EXPECT_FALSE(decodeImage(claim.data(), claim.size()));
    std::vector<uint8_t> tga = fileBytes(TAMO_SOURCE_DIR "/fuzz/corpus/decodeimage/tiny.tga");
    EXPECT_TRUE(decodeImage(tga.data(), tga.size()));
    // A JPEG scan using a table no segment defined, or an image ended before a scan
    // decoded it, would decode from uninitialised memory.
    std::vector<uint8_t> jpeg = fileBytes(TAMO_SOURCE_DIR "/fuzz/corpus/decodeimage/tiny.jpg");
    EXPECT_TRUE(decodeImage(jpeg.data(), jpeg.size()));
    auto without = [&](uint8_t marker, uint8_t firstByte) {   // drops the matching segments
        std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + 2);
        for (size_t at = 2; at + 4 <= jpeg.size();) {
            size_t end = jpeg[at + 1] == 0xDA ? jpeg.size() : at + 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
            if (jpeg[at + 1] != marker || (firstByte != 0xFF && jpeg[at + 4] != firstByte))
                cut.insert(cut.end(), jpeg.begin() + long(at), jpeg.begin() + long(end));
            at = end;
        }
        if (marker == 0xDA) cut.insert(cut.end(), {0xFF, 0xD9});
        EXPECT_LT(cut.size(), jpeg.size());
        return cut;
    };
    for (const auto& broken : {without(0xDB, 0xFF), without(0xC4, 0x10), without(0xDA, 0xFF)})
        EXPECT_FALSE(decodeImage(broken.data(), broken.size()));
    for (const char* found : {"jpeg-without-quantization-tables", "jpeg-scan-with-an-undefined-huffman-table"}) {
        std::vector<uint8_t> bytes = fileBytes(TAMO_SOURCE_DIR "/tests/e2e/fuzz_cases/decodeimage/" + std::string(found));
        EXPECT_FALSE(decodeImage(bytes.data(), bytes.size())) << found;
    }
    const std::string small = "P5\n2 2\n255\nabcd";
    auto grey = decodeImage(reinterpret_cast<const uint8_t*>(small.data()), small.size());
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->depth, 1);
}

TEST_F(Images, PixelsArePremultipliedOnceWhenSet) {
    gxtkSurface rgba;
    rgba.setPixels({200, 100, 50, 128, 10, 20, 30, 255}, 2, 1, 4);
    EXPECT_EQ(rgba.pixels(), (std::vector<uint8_t>{100, 50, 25, 128, 10, 20, 30, 255}));
    EXPECT_EQ(rgba.format(), unsigned(GL_RGBA));
    gxtkSurface grey;
    grey.setPixels({200, 128, 90, 0}, 2, 1, 2);
    EXPECT_EQ(grey.pixels(), (std::vector<uint8_t>{100, 128, 0, 0}));
    EXPECT_EQ(grey.format(), unsigned(GL_LUMINANCE_ALPHA));
    gxtkSurface rgb;
    rgb.setPixels({200, 100, 50}, 1, 1, 3);
    EXPECT_EQ(rgb.pixels(), (std::vector<uint8_t>{200, 100, 50}));
    EXPECT_EQ(rgb.format(), unsigned(GL_RGB));
}

TEST_F(Images, FlagsSetFramesHandleAndTheWholeSurfaceShortcut) {
    auto plain = loadImage(widen(picture("a.png", 20, 20, 4)), 0);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->frames.size(), 1u);
    EXPECT_EQ(plain->frames[0].x, 0);
    EXPECT_EQ(plain->handleX, 0);
    EXPECT_EQ(plain->flags, ImageFlagWholeSurface);

    auto padded = loadImage(widen(dir.file("a.png")), ImageFlagPadX | ImageFlagPadY);
    ASSERT_NE(padded, nullptr);
    EXPECT_EQ(padded->width, 18);
    EXPECT_EQ(padded->height, 18);
    EXPECT_EQ(padded->frames[0].x, 1);
    EXPECT_EQ(padded->frames[0].y, 1);
    EXPECT_EQ(padded->flags, 6) << "a padded image is not the whole surface";

    auto centred = loadImage(widen(picture("b.png", 16, 16, 4)), ImageFlagCentreHandle);
    ASSERT_NE(centred, nullptr);
    EXPECT_EQ(centred->handleX, 8);
    EXPECT_EQ(centred->handleY, 8);
    EXPECT_EQ(centred->flags, ImageFlagWholeSurface) << "the centre bit is not kept";

    render([&] {
        drawImage(plain.get(), 5, 6, 0);
        const Vertex* v = gfx().vertices();
        EXPECT_FLOAT_EQ(v[2].x, 25);
        EXPECT_FLOAT_EQ(v[2].u, 1.0f) << "the whole surface is drawn";
        drawImage(padded.get(), 5, 6, 0);   // another surface: a new batch
        v = gfx().vertices();
        EXPECT_FLOAT_EQ(v[0].x, 5);
        EXPECT_FLOAT_EQ(v[2].x, 23);
        EXPECT_FLOAT_EQ(v[0].u, 0.05f) << "the padded frame starts one pixel in";
        EXPECT_FLOAT_EQ(v[2].v, 0.95f);
        gfx().resetDrawCalls();
        drawImage(centred.get(), 100, 100, 0);
        v = gfx().vertices();
        EXPECT_FLOAT_EQ(v[0].x, 92);
        EXPECT_FLOAT_EQ(v[0].y, 92);
        EXPECT_FLOAT_EQ(v[2].x, 108);
        EXPECT_FLOAT_EQ(v[2].y, 108);
        drawImage(centred.get(), 10, 10, 0);
        EXPECT_EQ(gfx().vertexCount(), 8) << "draws of one surface share the batch";
        drawImage(centred.get(), 10, 10, 1);   // no such frame: nothing
        drawImage(nullptr, 10, 10, 0);
        EXPECT_EQ(gfx().vertexCount(), 8);
    });
}

TEST_F(Images, TexturesKeepThePictureSizeOrFallBackToPowersOfTwo) {
    auto exact = loadImage(widen(picture("s.png", 100, 30, 4)));
    ASSERT_NE(exact, nullptr);
    EXPECT_EQ(exact->surface->textureWidth(), 100);
    EXPECT_FLOAT_EQ(exact->surface->us(), 0.01f);
    EXPECT_FLOAT_EQ(exact->surface->vs(), float(1.0 / 30));

    gxtkSurface::refuseExactSize = true;
    std::vector<uint8_t> bytes(100 * 30 * 4, 0);
    for (size_t k = 0; k < bytes.size(); k += 4) bytes[k] = bytes[k + 3] = 255;   // red
    ASSERT_TRUE(writePng(dir.file("r.png"), 100, 30, 4, bytes));
    auto fallback = loadImage(widen(dir.file("r.png")));
    gxtkSurface::refuseExactSize = false;
    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(fallback->surface->textureWidth(), 128);
    EXPECT_EQ(fallback->surface->textureHeight(), 32);
    EXPECT_FLOAT_EQ(fallback->surface->us(), 1.0f / 128);
    EXPECT_FLOAT_EQ(fallback->surface->vs(), 1.0f / 32);

    std::vector<int> px;
    render([&] {
        clearScreen(0, 0, 0);
        drawImage(fallback.get(), 0, 0, 0);
        px = grab(0, 0, 102, 31);
    });
    EXPECT_EQ(px[0], argb(255, 0, 0));
    EXPECT_EQ(px[size_t(29) * 102 + 99], argb(255, 0, 0)) << "bottom-right of the picture";
    EXPECT_EQ(px[100], argb(0, 0, 0)) << "the texture's spare columns were drawn";
    EXPECT_EQ(px[size_t(30) * 102], argb(0, 0, 0));
}

TEST_F(Images, AMissingOrBrokenFileGivesNoneSilently) {
    std::ofstream(dir.file("broken.png")) << "not a picture";
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    auto missing = loadImage(widen(dir.file("nothing.png")));
    auto broken = loadImage(widen(dir.file("broken.png")));
    auto noData = loadImage(U"no_such_picture.png");
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(broken, nullptr);
    EXPECT_EQ(noData, nullptr);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

TEST_F(Images, RelativeNamesAreLookedUpInTheDataFolder) {
    auto button = loadImage(U"button1.png");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->width, 32);
}

TEST_F(Images, TexturesAreMadeAtFirstBindAndRebuiltForANewContext) {
    int generation = contextGeneration;
    contextGeneration = 0;   // as before the first window
    auto image = loadImage(widen(picture("g.png", 2, 2, 4, 255)));
    contextGeneration = generation;
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->surface->generation(), -1) << "a texture was made without a context";

    std::vector<int> px;
    render([&] {
        clearScreen(0, 0, 0);
        drawImage(image.get(), 0, 0, 0);
        px = grab(0, 0, 1, 1);
    });
    EXPECT_EQ(image->surface->generation(), generation) << "the first draw did not make it";
    EXPECT_EQ(px[0], argb(255, 255, 255));

    ++contextGeneration;   // the host made a new context: the old texture is gone
    render([&] {
        clearScreen(0, 0, 0);
        drawImage(image.get(), 0, 0, 0);
        px = grab(0, 0, 1, 1);
    });
    EXPECT_EQ(image->surface->generation(), generation + 1);
    EXPECT_EQ(px[0], argb(255, 255, 255)) << "not rebuilt from the memory copy";
}

TEST_F(Images, WrittenPixelsArePremultipliedAndReachTheTexture) {
    std::shared_ptr<gxtkSurface> surface = gfx().createSurface(4, 3);
    ASSERT_TRUE(surface->pixels().empty());
    std::vector<int> words(4 * 3, argb(0, 0, 0, 255));
    words[5] = argb(200, 100, 50, 128);
    render([&] {
        writePixels(surface.get(), words, 0, 0, 4, 3, 0, 4);   // whole rows at once
        std::vector<int> patch = {argb(0, 255, 0), argb(0, 0, 255)};
        writePixels(surface.get(), patch, 2, 2, 2, 1, 0, 2);   // row by row
        clearScreen(0, 0, 0);
        drawSurface(surface.get(), 10, 10);
        std::vector<int> px = grab(10, 10, 4, 3);
        EXPECT_EQ(px[5], argb(100, 50, 25));
        EXPECT_EQ(px[10], argb(0, 255, 0));
        EXPECT_EQ(px[11], argb(0, 0, 255));
        EXPECT_EQ(px[9], argb(0, 0, 0));
    });
    const std::vector<uint8_t>& mem = surface->pixels();
    ASSERT_EQ(mem.size(), 48u);
    EXPECT_EQ(mem[20], 100);
    EXPECT_EQ(mem[21], 50);
    EXPECT_EQ(mem[22], 25);
    EXPECT_EQ(mem[23], 128);

    gxtkSurface rgb;
    rgb.setPixels({1, 2, 3}, 1, 1, 3);
    rgb.updatePixels({argb(9, 9, 9)}, 0, 0, 1, 1, 0, 1);
    EXPECT_EQ(rgb.pixels(), (std::vector<uint8_t>{1, 2, 3})) << "only RGBA surfaces change";
    std::vector<int> bright(12, argb(255, 255, 255));
    surface->updatePixels(bright, 2, 0, 4, 3, 0, 4);   // wider than the surface: refused
    surface->updatePixels(bright, 0, 0, 4, 3, 1, 4);   // past the array's end: refused
    EXPECT_EQ(mem[8], 0);
    EXPECT_EQ(mem[0], 0);
}

TEST_F(Images, ASurfaceFreedWhileBatchedIsDrawnFirst) {
    auto image = loadImage(widen(picture("f.png", 2, 2, 4, 255)));
    ASSERT_NE(image, nullptr);
    std::vector<int> px;
    render([&] {
        clearScreen(0, 0, 0);
        drawImage(image.get(), 0, 0, 0);
        image.reset();
        EXPECT_EQ(gfx().batchSurface(), nullptr);
        px = grab(0, 0, 1, 1);
    });
    EXPECT_EQ(px[0], argb(255, 255, 255));
}

TEST_F(Images, TexturedPolygonsMapSourcePixels) {
    std::vector<uint8_t> bytes(4 * 4 * 4, 0);
    for (int k = 0; k < 16; ++k) {
        bytes[size_t(k) * 4 + 3] = 255;
        bytes[size_t(k) * 4 + (k % 4 < 2 ? 0 : 1)] = 255;   // left half red, right green
    }
    ASSERT_TRUE(writePng(dir.file("tp.png"), 4, 4, 4, bytes));
    auto image = loadImage(widen(dir.file("tp.png")));
    ASSERT_NE(image, nullptr);
    std::vector<int> px;
    render([&] {
        clearScreen(0, 0, 0);
        // a 2 x 2 square taking its texels from source column 2 onwards
        drawTexturedPoly({0, 0, 0, 0, 2, 0, 2, 0, 2, 2, 2, 2, 0, 2, 0, 2},
                         image->surface.get(), 2, 0);
        px = grab(0, 0, 2, 2);
    });
    for (int p : px) EXPECT_EQ(p, argb(0, 255, 0));
}

TEST_F(Images, NewDataLoadedIntoASurfaceReplacesItsTexture) {
    std::vector<uint8_t> red = {255, 0, 0, 255}, blue = {0, 0, 255, 255, 0, 0, 255, 255};
    ASSERT_TRUE(writePng(dir.file("red.png"), 1, 1, 4, red));
    ASSERT_TRUE(writePng(dir.file("blue.png"), 2, 1, 4, blue));
    std::shared_ptr<gxtkSurface> surface = gfx().loadSurface(widen(dir.file("red.png")));
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(surface->generation(), contextGeneration) << "loadSurface makes the texture";
    EXPECT_EQ(gfx().loadSurfaceData(surface.get(), widen(dir.file("blue.png"))), 1);
    EXPECT_EQ(gfx().loadSurfaceData(surface.get(), widen(dir.file("none.png"))), 0);
    EXPECT_EQ(surface->width(), 2);
    std::vector<int> px;
    render([&] {
        clearScreen(0, 0, 0);
        drawSurface(surface.get(), 0, 0);
        px = grab(0, 0, 3, 1);
    });
    EXPECT_EQ(px[0], argb(0, 0, 255)) << "the old picture's texture was drawn";
    EXPECT_EQ(px[1], argb(0, 0, 255));
    EXPECT_EQ(px[2], argb(0, 0, 0));
}
