// The renderer's batch: what reaches GL as how many draw calls, and what each vertex holds.
#include <GL/gl.h>

#include <cstring>

#include "gl_env.h"

namespace {

class Batching : public GlTest {};

uint8_t colourByte(const Vertex& v, int k) {
    uint8_t bytes[4];
    std::memcpy(bytes, &v.colour, 4);
    return bytes[k];
}

}  // namespace

TEST_F(Batching, RectanglesOfDifferentColoursAreOneDrawCall) {
    render([&] {
        gfx().resetDrawCalls();
        setColor(255, 0, 0);
        drawRect(0, 0, 10, 10);
        setColor(0, 255, 0);
        setAlpha(0.5f);
        drawRect(20, 0, 10, 10);
        setColor(0, 0, 255);
        drawRect(40, 0, 10, 10);
        EXPECT_EQ(gfx().drawCallCount(), 0) << "colour changes must not flush";
        EXPECT_EQ(gfx().vertexCount(), 12);
    });
    ASSERT_EQ(gfx().drawCallCount(), 1);
    const DrawCall& call = gfx().drawCall(0);
    EXPECT_TRUE(call.indexed);
    EXPECT_EQ(call.mode, unsigned(GL_TRIANGLES));
    EXPECT_EQ(call.count, 18);
}

TEST_F(Batching, AChangeOfPrimitiveOrSurfaceFlushesTheOpenBatch) {
    auto image = loadImage(U"button1.png");
    ASSERT_NE(image, nullptr);
    render([&] {
        gfx().resetDrawCalls();
        drawRect(0, 0, 10, 10);
        drawLine(0, 20, 50, 20);
        EXPECT_EQ(gfx().drawCallCount(), 1) << "the rectangle is sent before the line joins";
        EXPECT_EQ(gfx().batchType(), 2);
        drawRect(0, 30, 10, 10);
        drawImage(image.get(), 100, 100, 0);
        EXPECT_EQ(gfx().drawCallCount(), 3) << "a rectangle then an image flushes too";
        EXPECT_EQ(gfx().batchSurface(), image->surface.get());
    });
    ASSERT_EQ(gfx().drawCallCount(), 4);
    EXPECT_EQ(gfx().drawCall(1).mode, unsigned(GL_LINES));
    EXPECT_EQ(gfx().drawCall(3).surface, image->surface.get());
}

TEST_F(Batching, The257thQuadStartsASecondDrawCall) {
    render([&] {
        gfx().resetDrawCalls();
        for (int k = 0; k < 256; ++k) drawRect(float(k % 32), float(k / 32), 1, 1);
        EXPECT_EQ(gfx().drawCallCount(), 0);
        EXPECT_EQ(gfx().vertexCount(), 1024);
        drawRect(0, 100, 1, 1);
        EXPECT_EQ(gfx().drawCallCount(), 1);
    });
    ASSERT_EQ(gfx().drawCallCount(), 2);
    EXPECT_EQ(gfx().drawCall(0).count, 1536);
    EXPECT_EQ(gfx().drawCall(1).count, 6);
}

TEST_F(Batching, TheQuadIndexTableCoversTwoTrianglesPerQuad) {
    const uint16_t* q = gfx().quadIndices();
    for (int k = 0; k < 256; ++k) {
        const uint16_t expect[6] = {uint16_t(4 * k), uint16_t(4 * k + 1), uint16_t(4 * k + 2),
                                    uint16_t(4 * k), uint16_t(4 * k + 2), uint16_t(4 * k + 3)};
        ASSERT_EQ(std::memcmp(q + 6 * k, expect, sizeof(expect)), 0) << "quad " << k;
    }
}

TEST_F(Batching, OvalsUseSegmentsByTheirSize) {
    struct Case { float w, h; int segments; } cases[] = {
        {10, 10, 12}, {100, 50, 72}, {3000, 3000, 1024}, {0, 0, 12}};
    for (const Case& c : cases) {
        render([&] {
            drawOval(0, 0, c.w, c.h);
            EXPECT_EQ(gfx().batchType(), c.segments) << c.w << " x " << c.h;
            EXPECT_EQ(gfx().vertexCount(), c.segments);
        });
    }
    render([&] {   // a scaled circle is measured on screen
        scale(4, 4);
        drawOval(0, 0, 10, 10);
        EXPECT_EQ(gfx().batchType(), 40);
        const Vertex& v0 = gfx().vertices()[0];
        EXPECT_FLOAT_EQ(v0.x, 40);   // (cx + xr, cy) scaled
        EXPECT_FLOAT_EQ(v0.y, 20);
    });
}

TEST_F(Batching, PolygonsJoinTheBatchOfTheirVertexCount) {
    render([&] {
        drawPoly({0, 0, 10, 0, 5, 5});
        EXPECT_EQ(gfx().batchType(), 3);
        drawPoly({0, 0, 10, 0, 10, 10, 0, 10});
        EXPECT_EQ(gfx().batchType(), 4);
        drawRect(0, 0, 1, 1);
        EXPECT_EQ(gfx().vertexCount(), 8) << "a 4-point polygon shares the quad batch";
        gfx().resetDrawCalls();
        drawPoly({0, 0, 10, 0, 15, 5, 10, 10, 0, 10, -5, 5});
        drawPoly({20, 0, 30, 0, 35, 5, 30, 10, 20, 10, 15, 5});
        EXPECT_EQ(gfx().batchType(), 6);
    });
    ASSERT_EQ(gfx().drawCallCount(), 3);
    EXPECT_EQ(gfx().drawCall(1).mode, unsigned(GL_TRIANGLE_FAN));
    EXPECT_EQ(gfx().drawCall(1).first, 0);
    EXPECT_EQ(gfx().drawCall(2).first, 6);
    EXPECT_EQ(gfx().drawCall(2).count, 6);

    render([&] {   // nothing, or more than the buffer, draws nothing
        int before = gfx().vertexCount();
        drawPoly({});
        drawPoly({1});
        drawPoly(std::vector<float>(2 * 1025, 1.0f));
        EXPECT_EQ(gfx().vertexCount(), before);
    });
}

TEST_F(Batching, PointsAndLinesSitOnPixelCentres) {
    render([&] {
        drawPoint(10, 10);
        const Vertex& p = gfx().vertices()[0];
        EXPECT_EQ(gfx().batchType(), 1);
        EXPECT_FLOAT_EQ(p.x, 10.5f);
        EXPECT_FLOAT_EQ(p.y, 10.5f);
        translate(100, 0);
        drawLine(1, 2, 3, 4);
        const Vertex* l = gfx().vertices();
        EXPECT_FLOAT_EQ(l[0].x, 101.5f) << "the half pixel comes after the transform";
        EXPECT_FLOAT_EQ(l[0].y, 2.5f);
        EXPECT_FLOAT_EQ(l[1].x, 103.5f);
        EXPECT_FLOAT_EQ(l[1].y, 4.5f);
    });
}

TEST_F(Batching, ColourAndAlphaArePackedPremultipliedIntoEveryVertex) {
    render([&] {
        setColor(255, 128, 0);
        setAlpha(0.5f);
        drawRect(0, 0, 4, 4);
        for (int k = 0; k < 4; ++k) {
            const Vertex& v = gfx().vertices()[k];
            EXPECT_EQ(colourByte(v, 0), 127);
            EXPECT_EQ(colourByte(v, 1), 64);
            EXPECT_EQ(colourByte(v, 2), 0);
            EXPECT_EQ(colourByte(v, 3), 127);
        }
        setAlpha(1);
        drawRect(0, 0, 4, 4);
        EXPECT_EQ(colourByte(gfx().vertices()[4], 1), 128) << "new vertices take the new colour";
        EXPECT_EQ(colourByte(gfx().vertices()[0], 1), 64) << "old vertices keep theirs";
    });
}

TEST_F(Batching, TheMatrixTransformsVerticesAndStacksBeyond32Levels) {
    c_GraphicsContext& c = *graphicsContext();
    render([&] {
        for (int k = 0; k < 33; ++k) {
            pushMatrix();
            translate(1, 0);
        }
        EXPECT_EQ(c.matrixStack.size(), 384u);
        EXPECT_EQ(c.matrixDepth, 33 * 6);
        EXPECT_FLOAT_EQ(c.tx, 33);
        for (int k = 32; k >= 0; --k) {
            popMatrix();
            ASSERT_FLOAT_EQ(c.tx, float(k)) << "level " << k << " lost";
        }
        EXPECT_EQ(c.transformed, 0);
        popMatrix();   // a pop without a push keeps the identity
        EXPECT_EQ(c.matrixDepth, 0);
        EXPECT_FLOAT_EQ(c.ix, 1);

        translate(10, 20);
        rotate(90);
        drawRect(0, 0, 5, 1);
        const Vertex* v = gfx().vertices();
        EXPECT_NEAR(v[1].x, 10, 1e-5);   // (5, 0) turned to (0, -5), then moved
        EXPECT_NEAR(v[1].y, 15, 1e-5);
        EXPECT_TRUE(gfx().transformed());
    });
    render([&] {   // the next frame starts from the identity again
        drawRect(3, 4, 1, 1);
        EXPECT_FLOAT_EQ(gfx().vertices()[0].x, 3);
        EXPECT_FALSE(gfx().transformed());
    });
}

TEST_F(Batching, ClearDropsWhatWasBatchedAndFlushingOpsSendIt) {
    std::vector<int> px;
    render([&] {
        gfx().resetDrawCalls();
        setColor(255, 255, 255);
        drawRect(0, 0, 50, 50);
        clearScreen(0, 0, 0);
        EXPECT_EQ(gfx().vertexCount(), 0);
        px = grab(10, 10, 1, 1);
        EXPECT_EQ(gfx().drawCallCount(), 0);
        drawRect(0, 0, 5, 5);
        setBlend(0);
        EXPECT_EQ(gfx().drawCallCount(), 1) << "setBlend flushes";
        drawRect(0, 0, 5, 5);
        setScissor(0, 0, 640, 475);
        EXPECT_EQ(gfx().drawCallCount(), 2) << "setScissor flushes";
        drawRect(0, 0, 5, 5);
        grab(0, 0, 1, 1);
        EXPECT_EQ(gfx().drawCallCount(), 3) << "readPixels flushes";
    });
    EXPECT_EQ(px[0], argb(0, 0, 0)) << "the rectangle before clear appeared";
}

TEST_F(Batching, ScissorIsOffForTheWholeWindowAndFlippedOtherwise) {
    render([&] {
        drawPoint(0, 0);   // GL is set up for a frame at its first drawing
        gfx().flush();
        setScissor(0, 0, 640, 475);
        EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
        setScissor(10, 20, 30, 40);
        EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
        GLint box[4];
        glGetIntegerv(GL_SCISSOR_BOX, box);
        EXPECT_EQ(box[0], 10);
        EXPECT_EQ(box[1], 475 - 20 - 40);
        EXPECT_EQ(box[2], 30);
        EXPECT_EQ(box[3], 40);
    });
    render([&] {
        drawPoint(0, 0);
        gfx().flush();
        EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST)) << "the frame reset clears it";
    });
}

TEST_F(Batching, APrintKeepsEachTileApart) {
    auto tilesThatDiffer = [](const DrawingPrint& a, const DrawingPrint& b) {
        std::vector<int> differ;
        for (size_t i = 0; i < a.tiles.size(); ++i)
            if (a.tiles[i] != b.tiles[i]) differ.push_back(int(i));
        return differ;
    };
    render([&] {
        auto base = [] {
            drawRect(0, 0, 640, 475);
            drawRect(10, 100, 50, 10);
        };
        DrawingPrint plain = drawingPrint(base);
        DrawingPrint lined = drawingPrint([&] {
            base();
            drawLine(0, 300, 100, 300);
        });
        DrawingPrint blended = drawingPrint([&] {
            setBlend(1);
            base();
        });
        EXPECT_NE(plain.whole, lined.whole);
        EXPECT_EQ(tilesThatDiffer(plain, lined), (std::vector<int>{74 * 8, 74 * 8 + 1, 75 * 8, 75 * 8 + 1}))
            << "a line at y 300 from x 0 to 100 reaches the tiles of x 0..159, y 296..303";
        EXPECT_EQ(tilesThatDiffer(plain, blended).size(), plain.tiles.size())
            << "a state change reaches every tile";
        EXPECT_EQ(tilesThatDiffer(plain, drawingPrint(base)).size(), 0u);
    });
}
