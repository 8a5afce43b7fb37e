// Input state, the query functions, the GLFW key translation and the joystick layouts.
//
// Sections:
//   [input state]        c_InputDevice: presses, hits, characters, pointer, touch
//   [queries]            queries on the current input state
//   [key translation]    GLFW key translation table
//   [joystick layouts]   the joysticks' axis and button layouts
#include "host/input.h"

#include "host/game.h"

// ---- [input state] ----

namespace {
c_InputDevice* currentInput = nullptr;
constexpr int kCodes = 512;
constexpr int kHitCapacity = 33;
constexpr int kCharCapacity = 32;
constexpr int kFinger0 = 384;

bool validCode(int code) { return code > 0 && code < kCodes; }

// A character typed on the keyboard, not one a key press stands for (control codes,
// Delete and the navigation keys' 65536 + code).
bool typedCharacter(int code) {
    return code >= 32 && code != 127 && !(code > 65536 && code <= 65536 + Key::Delete);
}
}  // namespace

c_InputDevice* c_InputDevice::current() { return currentInput; }
void c_InputDevice::setCurrent(c_InputDevice* input) { currentInput = input; }

// Marks `code` held and counts the press while the hit list has room.
static void press(c_InputDevice& in, int code) {
    in.keyDown[code] = true;
    if (in.hitListCount < kHitCapacity) {
        in.keyHits[code] += 1;
        in.hitList[in.hitListCount++] = code;
    }
}

void c_InputDevice::pressKey(int code) {
    if (!validCode(code) || keyDown[code]) return;
    press(*this, code);
    if (code == Key::Shift) shiftTyped = false;
    // The left mouse button and touch finger 0 are one pointer.
    if (code == Key::MouseLeft) press(*this, kFinger0);
    else if (code == kFinger0) press(*this, Key::MouseLeft);
}

void c_InputDevice::releaseKey(int code) {
    if (!validCode(code) || !keyDown[code]) return;
    keyDown[code] = false;
    if (code == Key::Shift && !shiftTyped) ++shiftTaps;
    if (code == Key::MouseLeft) keyDown[kFinger0] = false;
    else if (code == kFinger0) keyDown[Key::MouseLeft] = false;
}

void c_InputDevice::putChar(int code) {
    if (keyDown[Key::Shift] && typedCharacter(code)) shiftTyped = true;
    if (charPut < kCharCapacity) charQueue[charPut++] = code;
}

void c_InputDevice::setPointer(float x, float y, float z) {
    mouseX = x;
    mouseY = y;
    mouseWheel = z;
    touchX[0] = x;
    touchY[0] = y;
}

void c_InputDevice::setTouch(int finger, float x, float y) {
    if (finger < 0 || finger >= 32) return;
    touchX[finger] = x;
    touchY[finger] = y;
    if (finger == 0) {
        mouseX = x;
        mouseY = y;
    }
}

void c_InputDevice::setAcceleration(float x, float y, float z) {
    accelX = x;
    accelY = y;
    accelZ = z;
}

// Polls joystick slots in order until one is missing; buttons become key codes
// 256 + 32 * slot + button.
void c_InputDevice::beginUpdate() {
    VXGame* host = VXGame::current();
    if (!host) return;
    for (int j = 0; j < 4; ++j) {
        c_JoyState& joy = joysticks[j];
        if (!host->pollJoystick(j, joy.axisX, joy.axisY, joy.axisZ, joy.buttons)) return;
        for (int b = 0; b < 32; ++b) {
            int code = 256 + 32 * j + b;
            if (joy.buttons[b]) {
                if (!keyDown[code]) press(*this, code);
            } else {
                keyDown[code] = false;
            }
        }
    }
}

void c_InputDevice::endUpdate() {
    for (int i = 0; i < hitListCount; ++i) keyHits[hitList[i]] = 0;
    hitListCount = 0;
    charGet = charPut = 0;
    shiftTaps = 0;
}

// ---- [queries] ----

bool keyIsDown(int key) {
    return currentInput && validCode(key) && currentInput->keyDown[key];
}

int keyHitCount(int key) {
    return currentInput && validCode(key) ? currentInput->keyHits[key] : 0;
}

int mouseHitCount(int button) {
    return button >= 0 && button <= 510 ? keyHitCount(button + 1) : 0;
}

float mouseX() { return currentInput ? currentInput->mouseX : 0; }
float mouseY() { return currentInput ? currentInput->mouseY : 0; }

float takeMouseWheel() {
    if (!currentInput) return 0;
    float wheel = currentInput->mouseWheel;
    currentInput->mouseWheel = 0;
    return wheel;
}

int nextChar() {
    if (!currentInput || currentInput->charGet == currentInput->charPut) return 0;
    return currentInput->charQueue[currentInput->charGet++];
}

int keyHitListed(int n) {
    if (!currentInput || n < 0 || n >= currentInput->hitListCount) return 0;
    return currentInput->hitList[n];
}

int shiftTapCount() { return currentInput ? currentInput->shiftTaps : 0; }
bool shiftTypedChar() { return currentInput && currentInput->shiftTyped; }

// ---- [key translation] ----

namespace {
constexpr int kFirstGlfwKey = 32;    // space
constexpr int kLastGlfwKey = 345;    // right control

struct KeyTable {
    int codes[kLastGlfwKey - kFirstGlfwKey + 1] = {};
    void set(int glfwKey, int code) { codes[glfwKey - kFirstGlfwKey] = code; }
    KeyTable() {
        set(32, Key::Space);
        set(34, 222);                 // quotation mark: never sent, kept with apostrophe
        set(39, 222);                 // apostrophe
        set(44, 188);                 // comma
        set(45, 189);                 // minus
        set(46, 190);                 // period
        set(47, 191);                 // slash
        for (int k = 48; k <= 57; ++k) set(k, k);   // digits
        set(59, 186);                 // semicolon
        set(61, 187);                 // equal
        for (int k = 65; k <= 90; ++k) set(k, k);   // letters
        set(91, 219);                 // left bracket
        set(92, 220);                 // backslash
        set(93, 221);                 // right bracket
        set(96, 192);                 // grave accent
        set(161, Key::LeftOfZ);       // world 1: the key between left Shift and Z (ISO)
        set(126, 192);                // tilde: never sent, kept with grave accent
        set(256, Key::Escape);
        set(257, Key::Enter);
        set(258, Key::Tab);
        set(259, Key::Backspace);
        set(260, Key::Insert);
        set(261, Key::Delete);
        set(262, Key::Right);
        set(263, Key::Left);
        set(264, Key::Down);
        set(265, Key::Up);
        set(266, Key::PageUp);
        set(267, Key::PageDown);
        set(268, Key::Home);
        set(269, Key::End);
        for (int k = 0; k < 12; ++k) set(290 + k, Key::F1 + k);   // F1..F12
        for (int k = 0; k < 10; ++k) set(320 + k, 96 + k);        // keypad digits
        set(330, 110);                // keypad decimal point
        set(331, 111);                // keypad divide
        set(332, 106);                // keypad multiply
        set(333, 109);                // keypad subtract
        set(334, 107);                // keypad add
        set(340, Key::Shift);
        set(341, Key::Control);
        set(344, Key::Shift);
        set(345, Key::Control);
    }
};
}  // namespace

int translateGlfwKey(int glfwKey) {
    static const KeyTable table;
    if (glfwKey < kFirstGlfwKey || glfwKey > kLastGlfwKey) return 0;
    return table.codes[glfwKey - kFirstGlfwKey];
}

// ---- [joystick layouts] ----

namespace {
// Stick sources: low 4 bits index, upper bits the conversion; kEnd ends a list.
constexpr int kAxis = 0, kHalfUp = 16, kHalfDown = 32, kNegate = 64, kButton = 128;
constexpr int kEnd = 999;

struct JoystickLayout {
    int sticks[7];
    int buttons[16];
};

const JoystickLayout kLayoutA = {
    {kAxis | 0, kNegate | 1, kHalfUp | 4, kAxis | 2, kNegate | 3, kHalfUp | 5, kEnd},
    {11, 12, 13, 14, 8, 9, 5, 4, 2, 0, 3, 1, 6, 7, 10, kEnd}};
const JoystickLayout kLayoutB = {
    {kAxis | 0, kNegate | 1, kButton | 8, kAxis | 2, kNegate | 3, kButton | 9, kEnd},
    {14, 13, 15, 12, 10, 11, 0, 3, 7, 4, 5, 6, 1, 2, 16, kEnd}};
const JoystickLayout kLayoutDefault = {
    {kAxis | 0, kNegate | 1, kButton | 6, kAxis | 2, kNegate | 3, kButton | 7, kEnd},
    {1, 2, 0, 3, 4, 5, 8, 9, 15, 12, 13, 14, 10, 11, kEnd}};

float axisAt(const JoystickReading& r, int i) {
    return i >= 0 && i < r.axisCount ? r.axes[i] : 0.0f;
}
bool buttonAt(const JoystickReading& r, int i) {
    return i >= 0 && i < r.buttonCount && r.buttons[i] != 0;
}

float stickValue(const JoystickReading& r, int source) {
    int index = source & 15;
    switch (source & ~15) {
    case kNegate: return -axisAt(r, index);
    case kHalfUp: return (1 + axisAt(r, index)) * 0.5f;
    case kHalfDown: return (1 - axisAt(r, index)) * 0.5f;
    case kButton: return buttonAt(r, index) ? 1.0f : 0.0f;
    default: return axisAt(r, index);
    }
}
}  // namespace

void mapJoystick(const JoystickReading& r, float* axisX, float* axisY, float* axisZ,
                 bool* buttons) {
    const JoystickLayout& layout = r.axisCount == 6 && r.buttonCount == 15   ? kLayoutA
                                   : r.axisCount == 4 && r.buttonCount == 19 ? kLayoutB
                                                                             : kLayoutDefault;
    float* outputs[6] = {&axisX[0], &axisY[0], &axisZ[0], &axisX[1], &axisY[1], &axisZ[1]};
    bool ended = false;
    for (int i = 0; i < 6; ++i) {
        ended = ended || layout.sticks[i] == kEnd;
        *outputs[i] = ended ? 0.0f : stickValue(r, layout.sticks[i]);
    }
    for (int i = 0; i < 32; ++i) buttons[i] = false;
    for (int i = 0; i < 16 && layout.buttons[i] != kEnd; ++i) {
        int m = layout.buttons[i];
        buttons[i] = buttonAt(r, m < 0 ? r.buttonCount + m : m);
    }
}
