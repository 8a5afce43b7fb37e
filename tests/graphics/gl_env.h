#pragma once
// One real window for the whole graphics test program: a private Xvfb, GLFW, the host
// with its 640 x 475 window and GL context (Mesa), and a small application started
// through the real game delegate, so every frame runs the delegate's render event:
// beginFrame, resetDrawingState, the test's drawing, endFrame.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "graphics/drawing.h"
#include "graphics/font.h"
#include "graphics/image.h"
#include "graphics/renderer.h"
#include "framework/app.h"
#include "host/game.h"
#include "support/xvfb.h"

class DrawingApp : public c_App {
public:
    std::function<void()> draw;   // runs inside the render handler
    int handleRender() override {
        if (draw) draw();
        return 0;
    }
};

struct GlEnv {
    VXGlfwGame* host = nullptr;
    DrawingApp* app = nullptr;
    bool ok = false;
    static GlEnv& get();   // started on first use, kept until the process ends
};

// Writes a PNG with 1..4 channels; returns false when it could not be written.
bool writePng(const std::string& path, int width, int height, int channels,
              const std::vector<uint8_t>& bytes);

// Every graphics test: the shared window, the repository's data folder, no GL refusal.
class GlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs `draw` as the application's render handler of one frame.
    void render(const std::function<void()>& draw);
    // The window's pixels as 0xAARRGGBB, rows top down (call inside render).
    static std::vector<int> grab(int x, int y, int w, int h);
    // Points the host's data folder at <root>/data.
    void useDataRoot(const std::string& root);

    gxtkGraphics& gfx() { return *graphicsDevice; }
    GlEnv* env = nullptr;
};

// 0xAARRGGBB from bytes.
constexpr int argb(int r, int g, int b, int a = 255) {
    return int((uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b));
}
