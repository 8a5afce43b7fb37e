#pragma once
// A tracker application on a real host, for the application and screen tests: a data
// folder in a temporary directory (with the repository's font, buttons and waves) and a
// settings folder beside it, the host pointed at them, and c_SoundEngine started through
// the real game delegate. Input arrives as host events, exactly as the window's callbacks
// post them.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "host/delegate.h"
#include "host/game.h"
#include "host/input.h"
#include "support/xvfb.h"
#include "tracker/app/app.h"
#include "tracker/core/player.h"

namespace app_env {

namespace fs = std::filesystem;

// Lays out <root>/data with the repository's pictures and waves; "songs" only when asked.
inline void makeDataFolder(const std::string& root, bool withSongs) {
    fs::path from = fs::path(TAMO_SOURCE_DIR) / "data";
    fs::path to = fs::path(root) / "data";
    fs::create_directories(to / "wav");
    for (const char* name : {"glimfont.png", "glim_font.png", "button1.png", "button_navrow.png"})
        if (fs::exists(from / name)) fs::copy_file(from / name, to / name);
    if (fs::exists(from / "wav"))
        for (const auto& e : fs::directory_iterator(from / "wav"))
            fs::copy_file(e.path(), to / "wav" / e.path().filename());
    if (withSongs) fs::create_directories(to / "songs");
}

}  // namespace app_env

// The application started on a host whose data folder is a fresh temporary one.
class TrackerAppTest : public ::testing::Test {
protected:
    explicit TrackerAppTest(bool withSongs = true) : withSongs_(withSongs) {}

    void SetUp() override {
        app_env::makeDataFolder(dir.path(), withSongs_);
        setenv("XDG_CONFIG_HOME", (dir.path() + "/config").c_str(), 1);   // private settings
        host.setDataRoot(widen(dir.path()));
        beforeStart();
        app = std::make_unique<c_SoundEngine>();
        host.runStart();
        ASSERT_NE(app->player, nullptr) << "handleCreate did not run";
    }

    // Runs before the application is made and started (a screen test opens its window).
    virtual void beforeStart() {}

    // A left click at (x, y): button down and up before the next update.
    void click(float x, float y) {
        host.postMouseEvent(c_VXGameEvent::MouseDown, 0, x, y, 0);
        host.postMouseEvent(c_VXGameEvent::MouseUp, 0, x, y, 0);
    }
    void key(int code) {
        host.postKeyEvent(c_VXGameEvent::KeyDown, code);
        host.postKeyEvent(c_VXGameEvent::KeyUp, code);
    }
    void update(int frames = 1) {
        for (int i = 0; i < frames; ++i) host.runUpdate();
    }
    bool fileExists(const std::string& name) const {
        return app_env::fs::exists(app_env::fs::path(dir.path()) / "data" / name);
    }

    bool withSongs_;
    TempDir dir;
    VXGlfwGame host;
    std::unique_ptr<c_SoundEngine> app;
};
