#include "gl_env.h"

#include <GLFW/glfw3.h>
#include <cstdlib>

#include <stb_image_write.h>

GlEnv& GlEnv::get() {
    static GlEnv* env = [] {
        auto* e = new GlEnv();
        setenv("ALSOFT_DRIVERS", "null", 0);
        if (!sharedXvfb().ok() || !glfwInit()) return e;
        e->host = new VXGlfwGame();
        e->host->setDataRoot(widen(TAMO_SOURCE_DIR));
        e->host->setDeviceWindow(kWindowWidth, kWindowHeight, WindowFlag::Decorated);
        initGraphicsModule();
        e->app = new DrawingApp();
        e->host->runStart();
        e->ok = graphicsDevice != nullptr;
        return e;
    }();
    return *env;
}

bool writePng(const std::string& path, int width, int height, int channels,
              const std::vector<uint8_t>& bytes) {
    return stbi_write_png(path.c_str(), width, height, channels, bytes.data(),
                          width * channels) != 0;
}

void GlTest::SetUp() {
    env = &GlEnv::get();
    ASSERT_TRUE(env->ok) << "no window: Xvfb, GLFW or the host's start failed";
    env->host->setDataRoot(widen(TAMO_SOURCE_DIR));
    gxtkSurface::refuseExactSize = false;
}

void GlTest::TearDown() { gxtkSurface::refuseExactSize = false; }

void GlTest::render(const std::function<void()>& draw) {
    env->app->draw = draw;
    env->host->runRender();
    env->app->draw = nullptr;
}

std::vector<int> GlTest::grab(int x, int y, int w, int h) {
    std::vector<int> pixels(size_t(w) * size_t(h), 0);
    readPixels(pixels, x, y, w, h, 0, w);
    return pixels;
}

void GlTest::useDataRoot(const std::string& root) { env->host->setDataRoot(widen(root)); }
