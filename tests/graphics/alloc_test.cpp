// A frame of drawing allocates nothing: the batch, the index table and the glyph map are
// all made before the frame. Counts every operator new while the drawing runs.
#include <cstdlib>
#include <new>

#include "gl_env.h"

namespace {
bool counting = false;
int allocations = 0;
}  // namespace

// Every plain form is replaced together, so each block is freed by its own kind.
static void* counted(size_t size) {
    if (counting) ++allocations;
    return std::malloc(size ? size : 1);
}
void* operator new(size_t size) {
    if (void* p = counted(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    if (void* p = counted(size)) return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

class Allocation : public GlTest {};

TEST_F(Allocation, AFrameOfRectanglesLinesImagesAndTextAllocatesNothing) {
    auto image = loadImage(U"button1.png");
    auto font = loadFont(U"glimfont.png", false);
    ASSERT_NE(image, nullptr);
    ASSERT_NE(font, nullptr);
    setFont(font);
    const String text = U"01: C-3 8 1 ... {|} [";
    std::vector<float> poly = {0, 0, 10, 0, 15, 5, 10, 10, 0, 10};
    // The first frame lets the GL driver build its internal state for these draws (the
    // driver's own allocations are not ours); the second one is counted.
    auto frame = [&] {
        for (int k = 0; k < 40; ++k) {   // several flushes of every kind
            setColor(float(k), 100, 200);
            drawRect(float(k), 0, 10, 10);
            drawLine(0, float(k), 100, float(k));
            drawImage(image.get(), 10, float(k), 0);
            drawText(text, 0, 12 * (k % 30));
            drawOval(100, 100, 50, 30);
            drawPoly(poly);
            drawPoint(3, 3);
            pushMatrix();
            translate(1, 1);
            popMatrix();
        }
        setBlend(1);
        setScissor(10, 10, 100, 100);
    };
    render(frame);
    render([&] {
        counting = true;
        allocations = 0;
        frame();
        counting = false;
    });
    EXPECT_EQ(allocations, 0);
    setFont(nullptr);
}
