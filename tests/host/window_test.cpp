// Real windows on a private X server: the tracker program itself, and the host's
// window creation, control and input in this process.
#include <gtest/gtest.h>

#include <GLFW/glfw3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "audio/audio.h"
#include "child_process.h"
#include "host/decode/image.h"
#include "graphics/renderer.h"
#include "host/display.h"
#include "host_fixtures.h"
#include "support/xvfb.h"
#include "x11_probe.h"

namespace {

const std::string kTitle = "Tamo Tracker v1.706 - by vendl/birchforge";

// CPU seconds the process has used so far (all its threads).
double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string f;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14) utime = std::stol(f);
        if (i == 15) stime = std::stol(f);
    }
    return double(utime + stime) / sysconf(_SC_CLK_TCK);
}

// The window's icon is the 128-pixel icon of the data folder, pixel for pixel
// (opaque pixels; the window system takes the colours as they are in the file).
void expectTheProgramsIcon(X11Probe& x, Window w) {
    X11Probe::Icon icon;
    for (int i = 0; i < 100 && icon.argb.empty(); ++i) {
        icon = x.icon(w);
        if (icon.argb.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(icon.width, 128) << "the window has no icon";
    ASSERT_EQ(icon.height, 128);
    std::ifstream in(std::string(TAMO_SOURCE_DIR) + "/data/icons/tamo-tracker-128.png",
                     std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::optional<ImagePixels> file = decodeImage(bytes.data(), bytes.size());
    ASSERT_TRUE(file && file->depth == 4);
    int opaque = 0, same = 0;
    for (size_t i = 0; i < icon.argb.size(); ++i) {
        const uint8_t* p = &file->data[i * 4];
        uint32_t expected = uint32_t(p[3]) << 24 | p[0] << 16 | p[1] << 8 | p[2];
        if (p[3] != 255) continue;
        ++opaque;
        if (icon.argb[i] == expected) ++same;
    }
    EXPECT_GT(opaque, 128 * 128 / 2);
    EXPECT_EQ(same, opaque) << "the window's icon is not data/icons/tamo-tracker-128.png";
}

}  // namespace

TEST(ProgramWindow, OpensTitledFixedSizeCentredAndACloseRequestEndsWithStatusZero) {
    ASSERT_TRUE(sharedXvfb().ok());
    setenv("ALSOFT_DRIVERS", "null", 0);
    X11Probe x;
    ASSERT_TRUE(x.ok());
    ChildProcess tamo("", std::string(TAMO_BINARY_DIR) + "/tamo");
    ASSERT_TRUE(tamo.started());

    Window w = x.waitForWindow(kTitle);
    ASSERT_NE(w, 0u) << "no window titled \"" << kTitle << "\" appeared; output:\n" << tamo.out();
    X11Probe::Geometry g = x.geometry(w);
    EXPECT_EQ(g.width, 640);
    EXPECT_EQ(g.height, 475);
    // Centred on the 1024 x 768 screen by the program itself (there is no window manager).
    EXPECT_EQ(g.x, 192);
    EXPECT_EQ(g.y, 146);
    EXPECT_TRUE(x.fixedSize(w, 640, 475)) << "the window must not be resizable";
    expectTheProgramsIcon(x, w);
    EXPECT_EQ(x.windowClass(w), "tamo-tracker tamo-tracker") << "docks match it to the desktop entry";

    // It keeps running, and it sleeps between updates instead of spinning.
    double cpuBefore = cpuSeconds(tamo.pid());
    auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    double cpu = cpuSeconds(tamo.pid()) - cpuBefore;
    ASSERT_TRUE(tamo.running()) << tamo.out();
    EXPECT_LT(cpu, 0.8 * wall) << "the loop seems to busy-wait";
    RecordProperty("cpu_share_percent", int(100 * cpu / wall));

    x.requestClose(w);
    ASSERT_TRUE(tamo.finish(10)) << "the close request did not end the program";
    EXPECT_TRUE(tamo.exited());
    EXPECT_EQ(tamo.exitStatus(), 0);
    EXPECT_EQ(tamo.out().find("Runtime Error"), std::string::npos) << tamo.out();
    EXPECT_EQ(tamo.out().find("GLFW Error"), std::string::npos) << tamo.out();
}

namespace {

// GLFW initialised on the private X server. It stays initialised for the rest of the
// process, as in the program: terminating it unloads the GL driver, whose lifetime
// allocations would then show up as leaks of unknown code under the leak checker.
struct WindowSystem : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(sharedXvfb().ok());
        ASSERT_TRUE(initHostWindowSystem());
    }
};

}  // namespace

TEST_F(WindowSystem, TheProgramsWindowFlagsGiveAFixedDecoratedCentredWindow) {
    VXGlfwGame game;
    int generation = contextGeneration;
    game.setDeviceWindow(640, 475, WindowFlag::Decorated);
    GLFWwindow* w = game.window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(contextGeneration, generation + 1);
    EXPECT_EQ(glfwGetWindowAttrib(w, GLFW_RESIZABLE), GLFW_FALSE);
    EXPECT_EQ(glfwGetWindowAttrib(w, GLFW_DECORATED), GLFW_TRUE);
    EXPECT_EQ(glfwGetWindowAttrib(w, GLFW_FLOATING), GLFW_FALSE);
    EXPECT_EQ(glfwGetWindowAttrib(w, GLFW_VISIBLE), GLFW_TRUE);
    EXPECT_EQ(glfwGetCurrentContext(), w);
    int x = 0, y = 0;
    glfwGetWindowPos(w, &x, &y);
    EXPECT_EQ(x, 192);
    EXPECT_EQ(y, 146);
    EXPECT_EQ(game.deviceWidth(), 640);
    EXPECT_EQ(game.deviceHeight(), 475);
    EXPECT_EQ(game.framebufferWidth(), 640);
    EXPECT_EQ(game.framebufferHeight(), 475);
    X11Probe probe;
    EXPECT_NE(probe.waitForWindow(kTitle, 5), 0u);
}

TEST_F(WindowSystem, AWindowShownAgainOrFocusedAsksTheDelegateForARefresh) {
    VXGlfwGame game;
    RecordingDelegate delegate;
    game.setDelegate(&delegate);
    game.setDeviceWindow(640, 475, WindowFlag::Decorated);
    game.runStart();
    glfwPollEvents();
    delegate.log.clear();
    glfwHideWindow(game.window());
    glfwPollEvents();
    glfwShowWindow(game.window());
    for (int i = 0; i < 250 && delegate.count("refresh") == 0; ++i) glfwWaitEventsTimeout(0.02);
    EXPECT_GT(delegate.count("refresh"), 0) << "uncovered: its picture must be mended";
    // Focus goes elsewhere first, so that focusing the window is a change of focus
    // (a shown window may already have it: there is no window manager here).
    X11Probe probe;
    probe.focusRoot();
    glfwPollEvents();
    delegate.log.clear();
    glfwFocusWindow(game.window());
    for (int i = 0; i < 250 && delegate.count("refresh") == 0; ++i) glfwWaitEventsTimeout(0.02);
    EXPECT_GT(delegate.count("refresh"), 0) << "focused";
    game.setDelegate(nullptr);
}

TEST_F(WindowSystem, RecreatingTheWindowAppliesTheNewFlagsAndANewContext) {
    VXGlfwGame game;
    game.setDeviceWindow(640, 475, WindowFlag::Decorated);
    int generation = contextGeneration;
    game.setDeviceWindow(300, 200, WindowFlag::Resizable | WindowFlag::Floating);
    GLFWwindow* w = game.window();
    EXPECT_EQ(contextGeneration, generation + 1);
    EXPECT_EQ(glfwGetWindowAttrib(w, GLFW_RESIZABLE), GLFW_TRUE);
    EXPECT_EQ(glfwGetWindowAttrib(w, GLFW_DECORATED), GLFW_FALSE);
    EXPECT_EQ(glfwGetWindowAttrib(w, GLFW_FLOATING), GLFW_TRUE);
    EXPECT_EQ(game.deviceWidth(), 300);
    // A window wider than the desktop is centred to a negative x.
    game.setDeviceWindow(1100, 200, WindowFlag::Decorated);
    int x = 0, y = 0;
    glfwGetWindowPos(game.window(), &x, &y);
    EXPECT_EQ(x, -38);
    EXPECT_EQ(y, 284);
}

TEST_F(WindowSystem, WindowControlChangesTitleSizePositionCursorAndClipboard) {
    VXGlfwGame game;
    game.setDeviceWindow(640, 475, WindowFlag::Decorated);
    GLFWwindow* w = game.window();
    game.setWindowTitle(U"Window control test");
    X11Probe probe;
    EXPECT_NE(probe.waitForWindow("Window control test", 5), 0u);
    game.setWindowSize(400, 300);
    game.setWindowPosition(10, 20);
    glfwPollEvents();
    int width = 0, height = 0, x = 0, y = 0;
    glfwGetWindowSize(w, &width, &height);
    EXPECT_EQ(width, 400);
    EXPECT_EQ(height, 300);
    for (int i = 0; i < 50 && game.deviceWidth() != 400; ++i) glfwPollEvents(), usleep(10000);
    EXPECT_EQ(game.deviceWidth(), 400) << "the size callback keeps the device size";
    EXPECT_EQ(game.deviceHeight(), 300);
    for (int i = 0; i < 50 && (x != 10 || y != 20); ++i) {
        glfwPollEvents();
        glfwGetWindowPos(w, &x, &y);
        usleep(10000);
    }
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
    game.setMouseVisible(false);
    EXPECT_EQ(glfwGetInputMode(w, GLFW_CURSOR), GLFW_CURSOR_HIDDEN);
    game.setMouseVisible(true);
    EXPECT_EQ(glfwGetInputMode(w, GLFW_CURSOR), GLFW_CURSOR_NORMAL);
    game.setClipboard(U"pattern 0A");
    EXPECT_EQ(game.getClipboard(), U"pattern 0A");
    EXPECT_GE(game.millisecs(), 0);
}

// A zoom grows the window around its layout, which stays the device size: it keeps
// its top-left corner while it fits the 1024 x 768 screen, else moves just onto it.
TEST_F(WindowSystem, AZoomGrowsTheWindowFromItsCornerAndKeepsItOnTheScreen) {
    VXGlfwGame game;
    EXPECT_EQ(game.largestZoom(), 1) << "640 x 475 fits 1024 x 768 once";
    EXPECT_FLOAT_EQ(game.desktopScale(), 1) << "no Xft.dpi on this server";
    game.setDeviceWindow(320, 240, WindowFlag::Decorated);
    EXPECT_EQ(game.largestZoom(), 3);
    auto expectWindow = [&](int x, int y, int w, int h) {
        int gx = -1, gy = -1, gw = 0, gh = 0;
        for (int i = 0; i < 100 && (gw != w || gx != x || gy != y); ++i) {
            glfwPollEvents();
            glfwGetWindowPos(game.window(), &gx, &gy);
            glfwGetWindowSize(game.window(), &gw, &gh);
            usleep(10000);
        }
        EXPECT_EQ(gx, x);
        EXPECT_EQ(gy, y);
        EXPECT_EQ(gw, w);
        EXPECT_EQ(gh, h);
        EXPECT_EQ(game.deviceWidth(), 320) << "the layout keeps its size";
        EXPECT_EQ(game.deviceHeight(), 240);
        EXPECT_EQ(game.framebufferWidth(), w);
        EXPECT_EQ(game.framebufferHeight(), h);
    };
    expectWindow(352, 264, 320, 240);
    game.setZoom(2);
    expectWindow(352, 264, 640, 480);
    game.setZoom(3);
    expectWindow(64, 48, 960, 720);
    game.setZoom(1);
    expectWindow(64, 48, 320, 240);
    game.setZoom(4);
    game.setDeviceWindow(320, 240, WindowFlag::Decorated);
    expectWindow(0, 0, 1280, 960);   // opened zoomed: centred, then onto the screen
}

TEST_F(WindowSystem, DisplayModesListTheScreensSizeOnceAndTheDesktopMode) {
    VXGlfwGame game;
    std::optional<VXDisplayMode> desktop = game.desktopMode();
    ASSERT_TRUE(desktop);
    EXPECT_EQ(desktop->width, 1024);
    EXPECT_EQ(desktop->height, 768);
    std::vector<VXDisplayMode> modes = game.displayModes();
    std::vector<c_DisplayMode> distinct = distinctDisplayModes(modes);
    ASSERT_FALSE(distinct.empty()) << "the screen's own mode has a refresh rate of 0 here";
    EXPECT_EQ(distinct[0].width, 1024);
    EXPECT_EQ(distinct[0].height, 768);
    buildDisplayModes();
    EXPECT_EQ(desktopDisplayMode().width, 1024);
    EXPECT_EQ(desktopDisplayMode().height, 768);
    EXPECT_EQ(displayModeList().size(), distinct.size());
}

TEST_F(WindowSystem, TheDelegateOpensTheDevicesAndRealClicksAndKeysReachTheUpdate) {
    setenv("ALSOFT_DRIVERS", "null", 0);
    VXGlfwGame game;
    game.setDeviceWindow(640, 475, WindowFlag::Decorated);
    game.setWindowTitle(U"Input test window");
    TestApp app;
    int creates = 0, renders = 0;
    std::vector<int> leftHits, chars;
    std::vector<float> xs;
    app.create = [&] { ++creates; setUpdateRate(50); };
    app.render = [&] { ++renders; EXPECT_EQ(renderDevice, graphicsDevice); };
    app.update = [&] {
        leftHits.push_back(keyHitCount(Key::MouseLeft));
        xs.push_back(mouseX());
        while (int c = nextChar()) chars.push_back(c);
    };
    game.runStart();
    c_GameDelegate* d = c_GameDelegate::current();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(creates, 1);
    EXPECT_NE(d->graphics, nullptr);
    EXPECT_EQ(graphicsDevice, d->graphics);
    EXPECT_EQ(c_InputDevice::current(), d->input);
    EXPECT_EQ(deviceWidth(), 640);
    EXPECT_EQ(deviceHeight(), 475);
    EXPECT_EQ(game.updateRate(), 50);

    GlfwLoopClock clock;
    game.runPass(clock);
    EXPECT_EQ(renders, 1);
    EXPECT_EQ(renderDevice, nullptr) << "renderDevice is set only while rendering";
    EXPECT_NE(d->audio, nullptr) << "the audio device opens for the first update";
    EXPECT_EQ(audioDevice, d->audio);

    X11Probe probe;
    Window w = probe.waitForWindow("Input test window", 5);
    ASSERT_NE(w, 0u);
    std::string command = "xdotool mousemove --window " + std::to_string(w) +
                          " 50 60 click 1 key BackSpace Left >/dev/null 2>&1";
    ASSERT_EQ(system(command.c_str()), 0);
    for (int i = 0; i < 100 && chars.size() < 2; ++i) game.runPass(clock);
    int clicks = 0;
    for (size_t i = 0; i < leftHits.size(); ++i) {
        clicks += leftHits[i];
        if (leftHits[i]) EXPECT_EQ(xs[i], 50.0f);
    }
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(chars, (std::vector<int>{8, 65536 + Key::Left}));
}

TEST_F(WindowSystem, KeysHeldWhenTheWindowIsReplacedAreReleased) {
    VXGlfwGame game;
    RecordingDelegate delegate;
    game.setDelegate(&delegate);
    game.runStart();
    game.setDeviceWindow(640, 475, WindowFlag::Decorated);
    game.setWindowTitle(U"Held key test window");
    X11Probe probe;
    Window w = probe.waitForWindow("Held key test window", 5);
    ASSERT_NE(w, 0u);
    std::string command = "xdotool mousemove --window " + std::to_string(w) +
                          " 100 100 keydown a >/dev/null 2>&1";
    ASSERT_EQ(system(command.c_str()), 0);
    for (int i = 0; i < 200 && delegate.count("key 1 65") == 0; ++i) {
        glfwPollEvents();
        usleep(5000);
    }
    EXPECT_EQ(delegate.count("key 1 65"), 1);
    game.setDeviceWindow(640, 475, WindowFlag::Decorated);
    EXPECT_EQ(delegate.count("key 2 65"), 1) << "the held key must be released";
    if (system("xdotool keyup a >/dev/null 2>&1") != 0) {}
}

TEST_F(WindowSystem, FullScreenOnTheSecondMonitorUsesTheOnlyMonitorThere) {
    VXGlfwGame game;
    game.setDeviceWindow(1024, 768, WindowFlag::FullScreen | WindowFlag::SecondMonitor);
    ASSERT_NE(game.window(), nullptr);
    EXPECT_EQ(glfwGetWindowMonitor(game.window()), glfwGetPrimaryMonitor());
    EXPECT_EQ(game.deviceWidth(), 1024);
}

TEST_F(WindowSystem, TheRealLoopRunsFiftyUpdatesAndRendersPerSecond) {
    VXGlfwGame game;
    RecordingDelegate delegate;
    game.setDelegate(&delegate);
    game.setDeviceWindow(640, 475, WindowFlag::Decorated);
    game.runStart();
    game.setUpdateRate(50);
    GlfwLoopClock clock;
    game.runPass(clock);   // starts the schedule
    int updatesBefore = delegate.count("update");
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) game.runPass(clock);
    int updates = delegate.count("update") - updatesBefore;
    RecordProperty("updates_in_one_second", updates);
    EXPECT_GE(updates, 47);
    EXPECT_LE(updates, 52);
    EXPECT_LE(delegate.count("render"), delegate.count("update") + 2) << "no render without sleep";
}

// Keys by their labels on the keymap the X server has when the window system starts:
// "+" is a key of its own on a German keyboard (a US one's "]"), "=" a US key.
TEST_F(WindowSystem, KeysAreFoundByTheirLabelsOnTheServersKeymap) {
    const std::string display = "setxkbmap -display " + sharedXvfb().display();
    auto labels = [&](const char* keymap, std::vector<const char*> names) {
        EXPECT_EQ(system((display + " " + keymap).c_str()), 0);
        terminateHostWindowSystem();
        EXPECT_TRUE(initHostWindowSystem());
        VXGlfwGame game;
        std::vector<int> codes;
        for (const char* name : names) codes.push_back(game.keyLabelled(name));
        return codes;
    };
    EXPECT_EQ(labels("de", {"+", "-", "<", "y", "#"}),
              (std::vector<int>{221, 191, Key::LeftOfZ, 90, 220}));
    EXPECT_EQ(labels("us", {"=", "-", "+", "]"}), (std::vector<int>{187, 189, 0, 221}));
}
