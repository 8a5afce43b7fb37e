#pragma once
// Input state: keys, mouse, touch fingers, joysticks and typed characters.
//
//   key code:  1..511: mouse buttons 1..3, keys (8 Backspace, 13 Enter, 16 Shift,
//              17 Control, 32 Space, 33..40 navigation, 45 Insert, 46 Delete,
//              48..57 digits, 65..90 letters, 112..123 F1..F12, 226 the key left of
//              Z, ...), 256 + 32*j + b joystick buttons, 384 + f touch fingers, 432 close.
//              A key code names a place on the keyboard (a US keyboard's label for
//              it), whatever the keymap types there
//   shift tap: Shift pressed and released without typing a character while it was held
//   hit:       a press since the previous update (at most 33 counted per update)
//   character: a code point typed since the previous update (at most 32 per update),
//              plus 8, 9, 13, 27, 127 and 65536 + code for navigation keys
//
// The delegate fills it from host events and clears hits and characters after
// each update; the application reads it through the queries below.
#include <array>

#include "host/object.h"

struct c_JoyState : Object {
    float axisX[2] = {0, 0};   // stick 0 and 1, -1..1
    float axisY[2] = {0, 0};
    float axisZ[2] = {0, 0};   // triggers, 0..1
    bool buttons[32] = {};
};

class c_InputDevice : public Object {
public:
    c_JoyState joysticks[4];
    bool keyDown[512] = {};
    int hitListCount = 0;
    int hitList[33] = {};
    int keyHits[512] = {};
    int charGet = 0;
    int charPut = 0;
    int charQueue[32] = {};
    float mouseX = 0, mouseY = 0;       // window pixels, origin top-left
    float mouseWheel = 0;               // last wheel or move event's z
    float touchX[32] = {}, touchY[32] = {};
    float accelX = 0, accelY = 0, accelZ = 0;
    bool shiftTyped = false;            // the Shift held (or last held) typed a character
    int shiftTaps = 0;                  // shift taps since the previous update

    void pressKey(int code);
    void releaseKey(int code);
    void putChar(int code);
    void setPointer(float x, float y, float z);
    void setTouch(int finger, float x, float y);
    void setAcceleration(float x, float y, float z);
    void beginUpdate();   // polls joysticks through the host
    void endUpdate();     // clears hits and characters

    static c_InputDevice* current();
    static void setCurrent(c_InputDevice* input);
};

// Queries on the current input state.
bool keyIsDown(int key);
int keyHitCount(int key);
int mouseHitCount(int button);
float mouseX();
float mouseY();
float takeMouseWheel();
int nextChar();
// The key code of the n-th press since the previous update (from 0, in the order they
// came), 0 past the last counted one.
int keyHitListed(int n);
// Shift taps since the previous update (a Shift that typed a character is none).
int shiftTapCount();
// Whether the Shift held now (or last held) typed a character.
bool shiftTypedChar();

// The program's key code for a GLFW key code, 0 when the key has none.
int translateGlfwKey(int glfwKey);

// One joystick's axes and buttons as the host reads them (buttons: nonzero = pressed).
struct JoystickReading {
    const float* axes = nullptr;
    int axisCount = 0;
    const unsigned char* buttons = nullptr;
    int buttonCount = 0;
};
// Fills the six stick outputs and 32 buttons from `reading` with the layout chosen by
// its axis and button counts (6 and 15, 4 and 19, or the default layout).
void mapJoystick(const JoystickReading& reading, float* axisX, float* axisY, float* axisZ,
                 bool* buttons);

// Key codes the application names.
namespace Key {
constexpr int MouseLeft = 1, Backspace = 8, Tab = 9, Enter = 13, Shift = 16, Control = 17,
              Escape = 27, Space = 32, PageUp = 33, PageDown = 34, End = 35, Home = 36,
              Left = 37, Up = 38, Right = 39, Down = 40, Insert = 45, Delete = 46,
              F1 = 112, F2 = 113, F3 = 114, F4 = 115, F5 = 116, F6 = 117, F7 = 118,
              F8 = 119, F9 = 120, F10 = 121, F11 = 122, F12 = 123, LeftOfZ = 226,
              KeypadAdd = 107, KeypadSubtract = 109, Comma = 188, Period = 190,
              Slash = 191, Backslash = 220, RightBracket = 221, Close = 432;
// Letters by their US positions: the code of the capital letter.
constexpr int A = 'A', B = 'B', C = 'C', D = 'D', E = 'E', F = 'F', G = 'G', H = 'H', I = 'I',
              J = 'J', K = 'K', L = 'L', M = 'M', N = 'N', O = 'O', P = 'P', Q = 'Q', R = 'R',
              S = 'S', T = 'T', U = 'U', V = 'V', W = 'W', X = 'X', Y = 'Y', Z = 'Z';
}
