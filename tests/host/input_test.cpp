// Keyboard, mouse, touch and joystick input as the application sees it in its update:
// events go through the host's callbacks and dispatchers to the real game delegate
// and input state, and the checks run inside the application's update handler.
#include <gtest/gtest.h>

#include <GLFW/glfw3.h>

#include "host/callbacks.h"
#include "host_fixtures.h"

namespace {

struct Rig : InputRig {
    // Runs one update; `check` runs inside the application's update handler.
    void update(std::function<void()> check = nullptr) {
        app.update = std::move(check);
        host.runUpdate();
        app.update = nullptr;
    }
    void press(int glfwKey) { onKeyInput(glfwKey, GLFW_PRESS); }
    void repeat(int glfwKey) { onKeyInput(glfwKey, GLFW_REPEAT); }
    void release(int glfwKey) { onKeyInput(glfwKey, GLFW_RELEASE); }
    std::vector<int> chars() {
        std::vector<int> all;
        while (int c = nextChar()) all.push_back(c);
        return all;
    }
};

}  // namespace

TEST(KeyHits, TwoPressesOfOneKeyInOneUpdateCountTwo) {
    Rig rig;
    rig.press(GLFW_KEY_A);
    rig.release(GLFW_KEY_A);
    rig.press(GLFW_KEY_A);
    rig.release(GLFW_KEY_A);
    int hits = -1;
    bool down = true;
    rig.update([&] { hits = keyHitCount('A'); down = keyIsDown('A'); });
    EXPECT_EQ(hits, 2);
    EXPECT_FALSE(down);
    rig.update([&] { hits = keyHitCount('A'); });
    EXPECT_EQ(hits, 0) << "hits belong to the update they arrived before";
}

TEST(KeyHits, AutoRepeatDoesNotCountAgainButRepeatsNavigationCharacters) {
    Rig rig;
    rig.press(GLFW_KEY_DOWN);
    rig.repeat(GLFW_KEY_DOWN);
    rig.repeat(GLFW_KEY_DOWN);
    int hits = -1;
    std::vector<int> chars;
    rig.update([&] { hits = keyHitCount(Key::Down); chars = rig.chars(); });
    EXPECT_EQ(hits, 1);
    EXPECT_EQ(chars, std::vector<int>(3, 65536 + Key::Down));
    bool held = false;
    rig.update([&] { hits = keyHitCount(Key::Down); held = keyIsDown(Key::Down); });
    EXPECT_EQ(hits, 0);
    EXPECT_TRUE(held) << "a held key stays down across updates";
}

TEST(KeyHits, The34thPressInOneUpdateSetsKeyDownWithoutCounting) {
    Rig rig;
    for (int code = 48; code < 48 + 34; ++code) rig.input().pressKey(code);
    int first = -1, last33 = -1, the34th = -1;
    bool down34 = false;
    rig.update([&] {
        first = keyHitCount(48);
        last33 = keyHitCount(48 + 32);
        the34th = keyHitCount(48 + 33);
        down34 = keyIsDown(48 + 33);
    });
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last33, 1);
    EXPECT_EQ(the34th, 0);
    EXPECT_TRUE(down34);
}

TEST(KeyHits, ThePressesOfAnUpdateAreListedInTheirOrder) {
    Rig rig;
    rig.press(GLFW_KEY_Z);
    rig.press(GLFW_KEY_WORLD_1);
    rig.release(GLFW_KEY_Z);
    rig.press(GLFW_KEY_Z);
    rig.update([&] {
        EXPECT_EQ(keyHitListed(0), 90);
        EXPECT_EQ(keyHitListed(1), Key::LeftOfZ);
        EXPECT_EQ(keyHitListed(2), 90);
        EXPECT_EQ(keyHitListed(3), 0);
        EXPECT_EQ(keyHitListed(-1), 0);
    });
    rig.update([&] { EXPECT_EQ(keyHitListed(0), 0); });
}

TEST(KeyHits, CtrlAndALetterArrivingTogetherAreBothCounted) {
    Rig rig;
    rig.press(GLFW_KEY_LEFT_CONTROL);
    rig.press(GLFW_KEY_S);
    int ctrl = 0, s = 0;
    rig.update([&] { ctrl = keyHitCount(Key::Control); s = keyHitCount('S'); });
    EXPECT_EQ(ctrl, 1);
    EXPECT_EQ(s, 1);
}

TEST(TypedCharacters, The33rdCharacterOfAnUpdateIsDropped) {
    Rig rig;
    for (int i = 0; i < 33; ++i) onCharInput(U'a' + (i % 26));
    std::vector<int> chars;
    rig.update([&] { chars = rig.chars(); });
    ASSERT_EQ(chars.size(), 32u);
    EXPECT_EQ(chars[0], 'a');
    EXPECT_EQ(chars[31], 'a' + 31 % 26);
    rig.update([&] { chars = rig.chars(); });
    EXPECT_TRUE(chars.empty()) << "the queue is emptied after each update";
}

TEST(TypedCharacters, ControlAndNavigationKeysTypeTheirCharacters) {
    Rig rig;
    int keys[] = {GLFW_KEY_BACKSPACE, GLFW_KEY_ENTER,     GLFW_KEY_TAB,  GLFW_KEY_ESCAPE,
                  GLFW_KEY_LEFT,      GLFW_KEY_UP,        GLFW_KEY_RIGHT, GLFW_KEY_DOWN,
                  GLFW_KEY_PAGE_UP,   GLFW_KEY_PAGE_DOWN, GLFW_KEY_HOME, GLFW_KEY_END,
                  GLFW_KEY_INSERT,    GLFW_KEY_DELETE,    GLFW_KEY_A,    GLFW_KEY_F1};
    for (int k : keys) {
        rig.press(k);
        rig.release(k);
    }
    std::vector<int> chars;
    rig.update([&] { chars = rig.chars(); });
    std::vector<int> expected = {8, 13, 9, 27, 65573, 65574, 65575, 65576,
                                 65569, 65570, 65572, 65571, 65581, 127};
    EXPECT_EQ(chars, expected) << "letters and F keys type nothing by their key event";
}

TEST(TypedCharacters, UnicodeTextArrivesAsCodePoints) {
    Rig rig;
    onCharInput(0xE4);
    onCharInput(0x1F3B5);
    std::vector<int> chars;
    rig.update([&] { chars = rig.chars(); });
    EXPECT_EQ(chars, (std::vector<int>{0xE4, 0x1F3B5}));
}

// Shift held to type "<" or a capital is no tap; Shift alone is one, also when it
// moved the cursor meanwhile (a navigation key types no character of its own).
TEST(TypedCharacters, OnlyAShiftThatTypedNothingCountsAsATap) {
    Rig rig;
    int taps = -1;
    bool typed = true;
    auto read = [&] { taps = shiftTapCount(); typed = shiftTypedChar(); };
    rig.press(GLFW_KEY_LEFT_SHIFT);
    rig.update(read);
    EXPECT_EQ(taps, 0) << "a held Shift is no tap yet";
    rig.press(GLFW_KEY_DOWN);
    rig.release(GLFW_KEY_DOWN);
    rig.release(GLFW_KEY_LEFT_SHIFT);
    rig.update(read);
    EXPECT_EQ(taps, 1);
    EXPECT_FALSE(typed);
    rig.update(read);
    EXPECT_EQ(taps, 0) << "taps are counted per update";

    rig.press(GLFW_KEY_RIGHT_SHIFT);
    rig.press(GLFW_KEY_COMMA);
    onCharInput('<');
    rig.release(GLFW_KEY_COMMA);
    rig.update(read);
    EXPECT_TRUE(typed) << "the held Shift has typed";
    rig.release(GLFW_KEY_RIGHT_SHIFT);
    rig.update(read);
    EXPECT_EQ(taps, 0);
    EXPECT_TRUE(typed);

    onCharInput('a');   // typed without Shift: the last Shift stays as it was
    rig.press(GLFW_KEY_LEFT_SHIFT);
    rig.release(GLFW_KEY_LEFT_SHIFT);
    rig.update(read);
    EXPECT_EQ(taps, 1) << "a new press starts untyped";
    EXPECT_FALSE(typed);
}

TEST(MouseInput, LeftButtonAndFingerZeroMirrorEachOther) {
    Rig rig;
    onMouseButtonInput(GLFW_MOUSE_BUTTON_LEFT, GLFW_PRESS, 120.5, 80.25);
    c_InputDevice& in = rig.input();
    EXPECT_TRUE(in.keyDown[1]);
    EXPECT_TRUE(in.keyDown[384]);
    EXPECT_EQ(in.touchX[0], 120.5f);
    EXPECT_EQ(in.touchY[0], 80.25f);
    int left = 0, finger = 0;
    rig.update([&] { left = mouseHitCount(0); finger = keyHitCount(384); });
    EXPECT_EQ(left, 1);
    EXPECT_EQ(finger, 1);
    onMouseButtonInput(GLFW_MOUSE_BUTTON_LEFT, GLFW_RELEASE, 0, 0);
    EXPECT_FALSE(in.keyDown[1]);
    EXPECT_FALSE(in.keyDown[384]);
    EXPECT_EQ(in.mouseX, 120.5f) << "a release does not move the pointer";

    // A touch of finger 0 presses the left button and moves the mouse.
    rig.host.postTouchEvent(c_VXGameEvent::TouchDown, 0, 30, 40);
    EXPECT_TRUE(in.keyDown[1]);
    EXPECT_EQ(in.mouseX, 30.0f);
    EXPECT_EQ(in.mouseY, 40.0f);
    rig.host.postTouchEvent(c_VXGameEvent::TouchUp, 0, 30, 40);
    EXPECT_FALSE(in.keyDown[1]);
    rig.host.postTouchEvent(c_VXGameEvent::TouchMove, 99, 1, 1);   // no such finger: ignored
}

TEST(MouseInput, ZoomedWindowPixelsArriveAsLayoutPixels) {
    Rig rig;
    rig.host.setZoom(3);
    onCursorInput(1548, 984);
    rig.update([&] {
        EXPECT_FLOAT_EQ(mouseX(), 516);
        EXPECT_FLOAT_EQ(mouseY(), 328);
    });
    onMouseButtonInput(GLFW_MOUSE_BUTTON_LEFT, GLFW_PRESS, 1551, 961);
    onScrollInput(301, 2, -1);
    rig.update([&] {
        EXPECT_FLOAT_EQ(mouseX(), 100.333336f);
        EXPECT_FLOAT_EQ(mouseY(), 2.0f / 3);
        EXPECT_EQ(takeMouseWheel(), -1);
    });
}

TEST(MouseInput, APressWithoutAnyMoveRecordsThePressPosition) {
    Rig rig;
    onMouseButtonInput(GLFW_MOUSE_BUTTON_RIGHT, GLFW_PRESS, 300, 200);
    float x = 0, y = 0;
    int right = 0;
    rig.update([&] { x = mouseX(); y = mouseY(); right = keyHitCount(2); });
    EXPECT_EQ(x, 300.0f);
    EXPECT_EQ(y, 200.0f);
    EXPECT_EQ(right, 1);
    onMouseButtonInput(3, GLFW_PRESS, 1, 1);   // buttons above the middle one are ignored
    EXPECT_FALSE(rig.input().keyDown[4]);
}

TEST(MouseInput, AWheelTurnFollowedByAMoveReadsZero) {
    Rig rig;
    onScrollInput(10, 10, 2.0);
    onCursorInput(11, 10);
    float wheel = -1;
    rig.update([&] { wheel = takeMouseWheel(); });
    EXPECT_EQ(wheel, 0.0f);

    onScrollInput(10, 10, -1.0);
    float second = 0;
    rig.update([&] { wheel = takeMouseWheel(); second = takeMouseWheel(); });
    EXPECT_EQ(wheel, -1.0f);
    EXPECT_EQ(second, 0.0f) << "taking the wheel value clears it";
}

TEST(CatchUpInput, OnlyTheFirstUpdateOfAPassSeesThatPassesPresses) {
    Rig rig;
    TestClock clock;
    rig.host.setUpdateRate(50);
    rig.host.runPass(clock);
    rig.host.onPoll = [&](bool) {
        clock.time += 0.07;
        onKeyInput(GLFW_KEY_SPACE, GLFW_PRESS);
        onCharInput('x');
    };
    std::vector<int> hits, chars;
    rig.app.update = [&] {
        hits.push_back(keyHitCount(Key::Space));
        chars.push_back(nextChar());
    };
    rig.host.runPass(clock);
    EXPECT_EQ(hits, (std::vector<int>{1, 0, 0, 0}));
    EXPECT_EQ(chars, (std::vector<int>{'x', 0, 0, 0}));
}

TEST(InputQueries, CodesOutsideTheKeySpaceReadFalseOrZero) {
    Rig rig;
    rig.input().pressKey(0);
    rig.input().pressKey(512);
    rig.input().pressKey(-3);
    EXPECT_FALSE(keyIsDown(0));
    EXPECT_FALSE(keyIsDown(512));
    EXPECT_EQ(keyHitCount(-1), 0);
    EXPECT_EQ(keyHitCount(600), 0);
    EXPECT_EQ(mouseHitCount(-1), 0);
    EXPECT_EQ(mouseHitCount(511), 0);
    EXPECT_EQ(rig.input().hitListCount, 0);
}

TEST(KeyTranslation, GlfwKeysMapToTheProgramsCodes) {
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_A), 65);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_Z), 90);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_0), 48);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_9), 57);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_SPACE), 32);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_LEFT_SHIFT), 16);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_RIGHT_SHIFT), 16);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_LEFT_CONTROL), 17);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_RIGHT_CONTROL), 17);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_F1), 112);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_F12), 123);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_KP_0), 96);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_KP_9), 105);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_KP_MULTIPLY), 106);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_KP_ADD), 107);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_KP_SUBTRACT), 109);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_KP_DECIMAL), 110);
    EXPECT_EQ(translateGlfwKey(GLFW_KEY_KP_DIVIDE), 111);
    int punctuation[][2] = {{GLFW_KEY_SEMICOLON, 186}, {GLFW_KEY_EQUAL, 187}, {GLFW_KEY_COMMA, 188},
                            {GLFW_KEY_MINUS, 189},     {GLFW_KEY_PERIOD, 190}, {GLFW_KEY_SLASH, 191},
                            {GLFW_KEY_GRAVE_ACCENT, 192}, {GLFW_KEY_LEFT_BRACKET, 219},
                            {GLFW_KEY_BACKSLASH, 220}, {GLFW_KEY_RIGHT_BRACKET, 221},
                            {GLFW_KEY_APOSTROPHE, 222}, {34, 222}, {126, 192},
                            {GLFW_KEY_WORLD_1, Key::LeftOfZ}};
    for (auto& p : punctuation) EXPECT_EQ(translateGlfwKey(p[0]), p[1]) << p[0];
}

TEST(KeyTranslation, KeysWithoutACodeAreDropped) {
    int none[] = {GLFW_KEY_LEFT_ALT, GLFW_KEY_RIGHT_ALT, GLFW_KEY_LEFT_SUPER, GLFW_KEY_MENU,
                  GLFW_KEY_CAPS_LOCK, GLFW_KEY_SCROLL_LOCK, GLFW_KEY_NUM_LOCK,
                  GLFW_KEY_PRINT_SCREEN, GLFW_KEY_PAUSE, GLFW_KEY_KP_ENTER, GLFW_KEY_KP_EQUAL,
                  GLFW_KEY_F13, GLFW_KEY_F25, GLFW_KEY_WORLD_2,
                  GLFW_KEY_UNKNOWN, 0, 31, 346, 100000};
    for (int k : none) EXPECT_EQ(translateGlfwKey(k), 0) << k;
    Rig rig;
    rig.press(GLFW_KEY_LEFT_ALT);
    EXPECT_EQ(rig.input().hitListCount, 0);
}

namespace {
struct JoyOut {
    float x[2] = {9, 9}, y[2] = {9, 9}, z[2] = {9, 9};
    bool b[32];
};
JoyOut mapped(std::vector<float> axes, std::vector<unsigned char> buttons) {
    JoyOut o;
    for (bool& b : o.b) b = true;
    JoystickReading r;
    r.axes = axes.data();
    r.axisCount = int(axes.size());
    r.buttons = buttons.data();
    r.buttonCount = int(buttons.size());
    mapJoystick(r, o.x, o.y, o.z, o.b);
    return o;
}
}  // namespace

TEST(JoystickLayouts, SixAxesAndFifteenButtonsUseLayoutA) {
    std::vector<unsigned char> buttons(15, 0);
    buttons[11] = 1;   // output 0
    buttons[10] = 1;   // output 14
    JoyOut o = mapped({0.5f, 0.25f, -0.5f, -0.25f, 0.0f, 1.0f}, buttons);
    EXPECT_EQ(o.x[0], 0.5f);
    EXPECT_EQ(o.y[0], -0.25f);
    EXPECT_EQ(o.z[0], 0.5f);   // (1 + axis 4) * 0.5
    EXPECT_EQ(o.x[1], -0.5f);
    EXPECT_EQ(o.y[1], 0.25f);
    EXPECT_EQ(o.z[1], 1.0f);
    EXPECT_TRUE(o.b[0]);
    EXPECT_TRUE(o.b[14]);
    for (int i = 1; i < 14; ++i) EXPECT_FALSE(o.b[i]) << i;
    for (int i = 15; i < 32; ++i) EXPECT_FALSE(o.b[i]) << i;
}

TEST(JoystickLayouts, FourAxesAndNineteenButtonsUseLayoutB) {
    std::vector<unsigned char> buttons(19, 0);
    buttons[8] = 1;    // trigger 0 only: no button output reads GLFW button 8
    buttons[16] = 1;   // output 14
    buttons[14] = 1;   // output 0
    JoyOut o = mapped({0.1f, 0.2f, 0.3f, 0.4f}, buttons);
    EXPECT_EQ(o.y[0], -0.2f);
    EXPECT_EQ(o.z[0], 1.0f);
    EXPECT_EQ(o.z[1], 0.0f);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(o.b[i], i == 0 || i == 14) << i;
}

TEST(JoystickLayouts, OtherJoysticksUseTheDefaultLayoutAndMissingInputsReadZero) {
    std::vector<unsigned char> buttons(8, 0);
    buttons[1] = 1;   // output 0
    buttons[6] = 1;   // trigger 0
    JoyOut o = mapped({0.75f, 0.5f}, buttons);
    EXPECT_EQ(o.x[0], 0.75f);
    EXPECT_EQ(o.y[0], -0.5f);
    EXPECT_EQ(o.z[0], 1.0f);
    EXPECT_EQ(o.x[1], 0.0f) << "axis 2 does not exist";
    EXPECT_EQ(o.y[1], 0.0f);
    EXPECT_EQ(o.z[1], 0.0f);
    EXPECT_TRUE(o.b[0]);
    for (int i = 1; i < 32; ++i) EXPECT_FALSE(o.b[i]) << i;
}
