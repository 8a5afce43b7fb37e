// The display-mode list the framework builds at start, and joystick buttons as keys.
#include <gtest/gtest.h>

#include "host/display.h"
#include "host_fixtures.h"

namespace {

VideoMode mode(int w, int h, int hz) { return {w, h, 8, 8, 8, hz}; }

// A host with scripted monitor modes, desktop mode, size and joysticks.
class ScriptedHost : public VXGame {
public:
    std::vector<VXDisplayMode> modes;
    std::optional<VXDisplayMode> desktop;
    int width = 800, height = 600;
    int joysticks = 0;                  // slots that answer a poll
    std::vector<int> polled;            // slots asked, in order
    bool pressed[4][32] = {};

    std::vector<VXDisplayMode> displayModes() override { return modes; }
    std::optional<VXDisplayMode> desktopMode() override { return desktop; }
    int deviceWidth() override { return width; }
    int deviceHeight() override { return height; }
    bool pollJoystick(int port, float* x, float*, float*, bool* buttons) override {
        polled.push_back(port);
        if (port >= joysticks) return false;
        x[0] = 0.5f;
        for (int b = 0; b < 32; ++b) buttons[b] = pressed[port][b];
        return true;
    }
    void markStarted() { started_ = true; }
};

std::vector<std::pair<int, int>> sizes(const std::vector<c_DisplayMode>& list) {
    std::vector<std::pair<int, int>> all;
    for (auto& m : list) all.emplace_back(m.width, m.height);
    return all;
}

}  // namespace

TEST(DisplayModes, OnlyModesAtZeroOrSixtyHertzAreListed) {
    std::vector<VXDisplayMode> kept = modesAtUsableRates(
        {mode(1024, 768, 60), mode(800, 600, 75), mode(640, 480, 0), mode(1280, 720, 59)});
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].width, 1024);
    EXPECT_EQ(kept[1].width, 640);
    EXPECT_EQ(kept[1].depth, 0);
    EXPECT_EQ(kept[1].hertz, 0);
}

TEST(DisplayModes, TwoModesOfOneSizeGiveOneEntryInOrderOfFirstAppearance) {
    std::vector<VXDisplayMode> modes = modesAtUsableRates(
        {mode(1920, 1080, 60), mode(640, 480, 60), mode(1920, 1080, 0), mode(800, 600, 60),
         mode(640, 480, 0)});
    auto expected = std::vector<std::pair<int, int>>{{1920, 1080}, {640, 480}, {800, 600}};
    EXPECT_EQ(sizes(distinctDisplayModes(modes)), expected);
}

TEST(DisplayModes, StartBuildsTheListAndFallsBackToTheDeviceSizeWithoutDesktopMode) {
    ScriptedHost host;
    TestApp app;
    host.modes = modesAtUsableRates({mode(1024, 768, 60), mode(1024, 768, 0)});
    c_GameDelegate::current()->onUpdate();   // refreshes the cached device size
    buildDisplayModes();
    EXPECT_EQ(sizes(displayModeList()), (std::vector<std::pair<int, int>>{{1024, 768}}));
    EXPECT_EQ(desktopDisplayMode().width, 800);
    EXPECT_EQ(desktopDisplayMode().height, 600);

    VXDisplayMode desk;
    desk.width = 1920, desk.height = 1200;
    host.desktop = desk;
    buildDisplayModes();
    EXPECT_EQ(desktopDisplayMode().width, 1920);
    EXPECT_EQ(desktopDisplayMode().height, 1200);
}

TEST(JoystickButtons, PressedButtonsCountAsKeysOfTheirSlotAndPollingStopsAtAMissingSlot) {
    ScriptedHost host;
    TestApp app;
    c_GameDelegate* d = c_GameDelegate::current();
    d->input = new c_InputDevice();
    c_InputDevice::setCurrent(d->input);
    host.markStarted();
    host.joysticks = 2;
    host.pressed[0][0] = true;
    host.pressed[1][3] = true;
    int slot0 = 0, slot1 = 0;
    float stick = 0;
    app.update = [&] {
        slot0 = keyHitCount(256);
        slot1 = keyHitCount(256 + 32 + 3);
        stick = d->input->joysticks[0].axisX[0];
    };
    host.runUpdate();
    EXPECT_EQ(slot0, 1);
    EXPECT_EQ(slot1, 1);
    EXPECT_EQ(stick, 0.5f);
    EXPECT_EQ(host.polled, (std::vector<int>{0, 1, 2})) << "slot 3 is not polled after 2 is missing";

    // Held: down but not hit again; released: up.
    host.runUpdate();
    EXPECT_EQ(slot0, 0);
    EXPECT_TRUE(keyIsDown(256));
    host.pressed[0][0] = false;
    host.runUpdate();
    EXPECT_FALSE(keyIsDown(256));
    EXPECT_TRUE(keyIsDown(256 + 32 + 3));
}

// A window grown by a zoom stays where it is while it fits the work area (here
// 0..1920 with a 10-pixel frame on each side), else moves just enough onto it.
TEST(ZoomFit, TheWindowMovesOnlyAsFarAsItMustAndTheZoomIsTheLargestThatFits) {
    EXPECT_EQ(fitSpan(100, 1280, 10, 10, 0, 1920), 100);
    EXPECT_EQ(fitSpan(800, 1280, 10, 10, 0, 1920), 630) << "its right edge on the area's";
    EXPECT_EQ(fitSpan(-50, 640, 10, 10, 0, 1920), 10) << "its left frame on the area's edge";
    EXPECT_EQ(fitSpan(300, 2000, 0, 0, 40, 1920), 40) << "larger than the area: at its start";
    ScreenArea fullHd{0, 0, 1920, 1080};
    EXPECT_EQ(largestZoomIn(fullHd, 640, 475, 0, 0), 2) << "3 x 475 = 1425 is too tall";
    EXPECT_EQ(largestZoomIn({0, 0, 1920, 1425}, 640, 475, 0, 0), 3);
    EXPECT_EQ(largestZoomIn({0, 0, 1920, 1425}, 640, 475, 0, 24), 2) << "the title bar counts";
    EXPECT_EQ(largestZoomIn({0, 0, 600, 400}, 640, 475, 0, 0), 1) << "never below 1";
}
