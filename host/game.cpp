// The host: the current-host pointers, the dispatchers, the GLFW window and its
// control, joysticks, and the game loop.
//
// Sections:
//   [window system and clock]
//   [VXGame]        current host, date, dispatchers
//   [VXGlfwGame]    construction, window creation and control
//   [joysticks]
//   [the loop]      the loop and its schedule
#include "host/game.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host/callbacks.h"
#include "host/delegate.h"
#include "host/display.h"
#include "host/errors.h"
#include "host/input.h"

int contextGeneration = 0;

// ---- [window system and clock] ----

namespace {
void onGlfwError(int error, const char* description) {
    printf("GLFW Error: err=%i, msg=%s\n", error, description ? description : "");
    fflush(stdout);
}
}  // namespace

void installHostErrorCallback() { glfwSetErrorCallback(onGlfwError); }
bool initHostWindowSystem() { return glfwInit() == GLFW_TRUE; }
void terminateHostWindowSystem() { glfwTerminate(); }

double GlfwLoopClock::now() { return glfwGetTime(); }

void GlfwLoopClock::sleep(double seconds) {
    if (!(seconds > 0)) return;
    timespec wait;
    double whole = std::floor(seconds);
    wait.tv_sec = time_t(whole);
    wait.tv_nsec = long((seconds - whole) * 1e9);
    timespec rest;
    while (nanosleep(&wait, &rest) == -1 && errno == EINTR) wait = rest;
}

// ---- [VXGame] ----

namespace {
VXGame* currentGame = nullptr;
VXGlfwGame* currentGlfwGame = nullptr;
}  // namespace

VXGame::VXGame() { currentGame = this; }
VXGame::~VXGame() {
    if (currentGame == this) currentGame = nullptr;
}
VXGame* VXGame::current() { return currentGame; }

void VXGame::getDate(std::vector<int>& date) {
    if (date.empty()) return;
    time_t now = time(nullptr);
    tm local = *localtime(&now);
    int fields[7] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                     local.tm_min, local.tm_sec, 0};
    for (size_t i = 0; i < date.size() && i < 7; ++i) date[i] = fields[i];
}

void VXGame::reportUncaught(const ThrowableObject*) {
    printLine(U"Vantorix Runtime Error : Uncaught Vantorix Exception");
    exit(-1);
}

template <class F> void VXGame::dispatch(F call) {
    if (!delegate_) return;
    try {
        call(*delegate_);
    } catch (const ThrowableObject& thrown) {
        reportUncaught(&thrown);
    } catch (const ThrowableObject* thrown) {
        reportUncaught(thrown);
    }
}

void VXGame::runStart() {
    if (started_) return;
    started_ = true;
    dispatch([](VXGameDelegate& d) { d.onStart(); });
}

void VXGame::runSuspend() {
    if (!started_ || suspended_) return;
    suspended_ = true;
    dispatch([](VXGameDelegate& d) { d.onSuspend(); });
}

void VXGame::runResume() {
    if (!started_ || !suspended_) return;
    suspended_ = false;
    dispatch([](VXGameDelegate& d) { d.onResume(); });
}

void VXGame::runUpdate() {
    if (!started_ || suspended_) return;
    dispatch([](VXGameDelegate& d) { d.onUpdate(); });
}

void VXGame::runRender() {
    if (!started_) return;
    dispatch([](VXGameDelegate& d) { d.onRender(); });
}

void VXGame::postKeyEvent(int event, int data) {
    if (!started_) return;
    dispatch([=](VXGameDelegate& d) { d.onKeyEvent(event, data); });
}

void VXGame::postMouseEvent(int event, int data, float x, float y, float z) {
    if (!started_) return;
    dispatch([=](VXGameDelegate& d) { d.onMouseEvent(event, data, x, y, z); });
}

void VXGame::postTouchEvent(int event, int data, float x, float y) {
    if (!started_) return;
    dispatch([=](VXGameDelegate& d) { d.onTouchEvent(event, data, x, y); });
}

void VXGame::postMotionEvent(int event, int data, float x, float y, float z) {
    if (!started_) return;
    dispatch([=](VXGameDelegate& d) { d.onMotionEvent(event, data, x, y, z); });
}

void VXGame::postDiscardGraphics() {
    if (!started_) return;
    dispatch([](VXGameDelegate& d) { d.onDiscardGraphics(); });
}

void VXGame::postRefresh() {
    if (!started_) return;
    dispatch([](VXGameDelegate& d) { d.onRefresh(); });
}

bool VXGame::frameNeedsSwap() { return !delegate_ || delegate_->frameNeedsSwap(); }

// ---- [VXGlfwGame] ----

VXGlfwGame::VXGlfwGame() {
    currentGlfwGame = this;
    if (GLFWmonitor* monitor = glfwGetPrimaryMonitor()) {
        if (const GLFWvidmode* mode = glfwGetVideoMode(monitor)) {
            desktopVideoMode_ = {mode->width,    mode->height,   mode->redBits,
                                 mode->greenBits, mode->blueBits, mode->refreshRate};
        }
    }
}

VXGlfwGame::~VXGlfwGame() {
    if (window_) glfwDestroyWindow(window_);
    if (currentGlfwGame == this) currentGlfwGame = nullptr;
}

VXGlfwGame* VXGlfwGame::current() { return currentGlfwGame; }

void VXGlfwGame::setUpdateRate(int rate) {
    updateRate_ = rate;
    schedule_.setRate(rate);
}

int VXGlfwGame::millisecs() { return int(glfwGetTime() * 1000); }

void VXGlfwGame::setMouseVisible(bool visible) {
    if (window_)
        glfwSetInputMode(window_, GLFW_CURSOR, visible ? GLFW_CURSOR_NORMAL : GLFW_CURSOR_HIDDEN);
}

void VXGlfwGame::setMousePosition(double x, double y) {
    if (window_) glfwSetCursorPos(window_, x * zoom_, y * zoom_);   // layout to window pixels
}

void VXGlfwGame::setClipboard(const String& text) {
    if (window_) glfwSetClipboardString(window_, narrow(text).c_str());
}

String VXGlfwGame::getClipboard() {
    const char* text = glfwGetClipboardString(window_);
    return text ? widen(text) : String();
}

// On X11 the framebuffer is the window's client area, in pixels.
int VXGlfwGame::framebufferWidth() { return window_ ? windowWidth_ : deviceWidth_; }
int VXGlfwGame::framebufferHeight() { return window_ ? windowHeight_ : deviceHeight_; }

namespace {
// Releases every key the program knows that is held in `window`, so no key stays
// down across a window change.
void releaseHeldKeys(VXGame& game, GLFWwindow* window) {
    for (int key = GLFW_KEY_SPACE; key <= GLFW_KEY_LAST; ++key) {
        int code = translateGlfwKey(key);
        if (code && glfwGetKey(window, key) == GLFW_PRESS)
            game.postKeyEvent(c_VXGameEvent::KeyUp, code);
    }
}

void setWindowHints(int flags) {
    glfwWindowHint(GLFW_RED_BITS, 8);
    glfwWindowHint(GLFW_GREEN_BITS, 8);
    glfwWindowHint(GLFW_BLUE_BITS, 8);
    glfwWindowHint(GLFW_ALPHA_BITS, 8);
    glfwWindowHint(GLFW_DEPTH_BITS, flags & WindowFlag::DepthBuffer ? 32 : 0);
    glfwWindowHint(GLFW_STENCIL_BITS, flags & WindowFlag::StencilBuffer ? 8 : 0);
    glfwWindowHint(GLFW_RESIZABLE, flags & WindowFlag::Resizable ? GLFW_TRUE : GLFW_FALSE);
    glfwWindowHint(GLFW_DECORATED, flags & WindowFlag::Decorated ? GLFW_TRUE : GLFW_FALSE);
    glfwWindowHint(GLFW_FLOATING, flags & WindowFlag::Floating ? GLFW_TRUE : GLFW_FALSE);
    glfwWindowHint(GLFW_VISIBLE, flags & WindowFlag::FullScreen ? GLFW_TRUE : GLFW_FALSE);
    glfwWindowHint(GLFW_DOUBLEBUFFER, flags & WindowFlag::SingleBuffered ? GLFW_FALSE : GLFW_TRUE);
    glfwWindowHint(GLFW_SAMPLES, 0);
    glfwWindowHint(GLFW_REFRESH_RATE, 60);
    // The installed desktop entry's name: docks and task bars match the window to it.
    glfwWindowHintString(GLFW_X11_CLASS_NAME, "tamo-tracker");
    glfwWindowHintString(GLFW_X11_INSTANCE_NAME, "tamo-tracker");
}

// The monitor for full screen: the second when asked and present, else the last one.
GLFWmonitor* fullScreenMonitor(int flags) {
    int count = 0;
    GLFWmonitor** monitors = glfwGetMonitors(&count);
    if (!monitors || count <= 0) return nullptr;
    int index = flags & WindowFlag::SecondMonitor ? 1 : 0;
    if (index >= count) index = count - 1;
    return monitors[index];
}
}  // namespace

void VXGlfwGame::setDeviceWindow(int width, int height, int flags) {
    if (window_) {
        releaseHeldKeys(*this, window_);
        glfwDestroyWindow(window_);
        window_ = nullptr;
    }
    setWindowHints(flags);
    int pixelWidth = width * zoom_, pixelHeight = height * zoom_;
    if (flags & WindowFlag::FullScreen) {
        window_ = glfwCreateWindow(pixelWidth, pixelHeight, kWindowTitle, fullScreenMonitor(flags),
                                   nullptr);
    } else {
        window_ = glfwCreateWindow(pixelWidth, pixelHeight, kWindowTitle, nullptr, nullptr);
        if (window_) {
            glfwSetWindowPos(window_, (desktopVideoMode_.width - pixelWidth) / 2,
                             (desktopVideoMode_.height - pixelHeight) / 2);
            if (zoom_ > 1) fitOnWorkArea();
            glfwShowWindow(window_);
        }
    }
    if (!window_) {
        printf("glfwCreateWindow FAILED!\n");
        fflush(stdout);
        abort();
    }
    deviceWidth_ = width;
    deviceHeight_ = height;
    windowWidth_ = pixelWidth;
    windowHeight_ = pixelHeight;
    ++contextGeneration;
    glfwMakeContextCurrent(window_);
    if (swapInterval_ >= 0) glfwSwapInterval(swapInterval_);
    installWindowCallbacks(window_);
}

void VXGlfwGame::setWindowSizeFromCallback(int w, int h) {
    windowWidth_ = w;
    windowHeight_ = h;
    deviceWidth_ = w / zoom_;
    deviceHeight_ = h / zoom_;
    resized();
}

// The GL driver takes a window's new size at a swap; until then it draws into buffers
// of the old size. The swap shows what the window showed, and the next frame draws
// everything anew.
void VXGlfwGame::resized() {
    ++resizes_;
    if (window_) glfwSwapBuffers(window_);
}

// The size changes at once as far as drawing goes; the window system follows (and
// reports it through the size callback, which asks for a refresh).
void VXGlfwGame::setZoom(int zoom) {
    zoom = std::max(1, zoom);
    if (zoom == zoom_) return;
    zoom_ = zoom;
    if (!window_) return;
    windowWidth_ = deviceWidth_ * zoom;
    windowHeight_ = deviceHeight_ * zoom;
    glfwSetWindowSize(window_, windowWidth_, windowHeight_);
    fitOnWorkArea();
    resized();
}

GLFWmonitor* VXGlfwGame::windowMonitor() {
    int count = 0;
    GLFWmonitor** monitors = glfwGetMonitors(&count);
    if (window_) {
        int x = 0, y = 0;
        glfwGetWindowPos(window_, &x, &y);
        x += windowWidth_ / 2;
        y += windowHeight_ / 2;
        for (int i = 0; monitors && i < count; ++i) {
            ScreenArea a;
            glfwGetMonitorWorkarea(monitors[i], &a.x, &a.y, &a.width, &a.height);
            if (x >= a.x && x < a.x + a.width && y >= a.y && y < a.y + a.height) return monitors[i];
        }
    }
    return glfwGetPrimaryMonitor();
}

namespace {
struct Frame {
    int left = 0, top = 0, right = 0, bottom = 0;
};
Frame frameOf(GLFWwindow* window) {
    Frame f;
    if (window) glfwGetWindowFrameSize(window, &f.left, &f.top, &f.right, &f.bottom);
    return f;
}
ScreenArea workAreaOf(GLFWmonitor* monitor) {
    ScreenArea a;
    if (monitor) glfwGetMonitorWorkarea(monitor, &a.x, &a.y, &a.width, &a.height);
    return a;
}
}  // namespace

// Keeps the top-left corner where the window, frame included, still lies on the work
// area; otherwise moves it just enough.
void VXGlfwGame::fitOnWorkArea() {
    ScreenArea area = workAreaOf(windowMonitor());
    if (area.width <= 0 || area.height <= 0) return;
    Frame f = frameOf(window_);
    int x = 0, y = 0;
    glfwGetWindowPos(window_, &x, &y);
    int nx = fitSpan(x, windowWidth_, f.left, f.right, area.x, area.width);
    int ny = fitSpan(y, windowHeight_, f.top, f.bottom, area.y, area.height);
    if (nx != x || ny != y) glfwSetWindowPos(window_, nx, ny);
}

int VXGlfwGame::largestZoom() {
    Frame f = frameOf(window_);
    int width = window_ ? deviceWidth_ : kWindowWidth, height = window_ ? deviceHeight_ : kWindowHeight;
    return largestZoomIn(workAreaOf(windowMonitor()), width, height, f.left + f.right,
                         f.top + f.bottom);
}

int VXGlfwGame::keyLabelled(const char* label) {
    for (int key = GLFW_KEY_APOSTROPHE; key <= GLFW_KEY_WORLD_1; ++key) {
        // Only keys this keyboard has (GLFW reports an error for any other).
        if (!translateGlfwKey(key) || glfwGetKeyScancode(key) <= 0) continue;
        const char* name = glfwGetKeyName(key, 0);
        if (name && std::strcmp(name, label) == 0) return translateGlfwKey(key);
    }
    return 0;
}

float VXGlfwGame::desktopScale() {
    GLFWmonitor* monitor = windowMonitor();
    float x = 1, y = 1;
    if (monitor) glfwGetMonitorContentScale(monitor, &x, &y);
    return x > 0 ? x : 1;
}

void VXGlfwGame::setWindowIcon(const String& path) {
    if (!window_) return;
    std::optional<ImagePixels> image = loadImagePixels(path);
    if (!image || image->width <= 0 || image->height <= 0 || image->depth < 1 || image->depth > 4)
        return;
    // GLFW takes 8-bit RGBA: spread grey and grey-alpha, add opaque alpha to RGB.
    const int n = image->width * image->height, d = image->depth;
    if (image->data.size() < size_t(n) * d) return;
    std::vector<unsigned char> rgba(size_t(n) * 4);
    for (int i = 0; i < n; ++i) {
        const uint8_t* p = &image->data[size_t(i) * d];
        unsigned char* q = &rgba[size_t(i) * 4];
        bool grey = d <= 2;
        q[0] = p[0];
        q[1] = grey ? p[0] : p[1];
        q[2] = grey ? p[0] : p[2];
        q[3] = d == 2 ? p[1] : d == 4 ? p[3] : 255;
    }
    GLFWimage icon{image->width, image->height, rgba.data()};
    glfwSetWindowIcon(window_, 1, &icon);
}

void VXGlfwGame::setWindowPosition(int x, int y) {
    if (window_) glfwSetWindowPos(window_, x, y);
}

void VXGlfwGame::setWindowSize(int w, int h) {
    if (window_) glfwSetWindowSize(window_, w, h);
}

void VXGlfwGame::setWindowSizeLimits(int minW, int minH, int maxW, int maxH) {
    if (window_) glfwSetWindowSizeLimits(window_, minW, minH, maxW, maxH);
}

void VXGlfwGame::setWindowTitle(const String& title) {
    if (window_) glfwSetWindowTitle(window_, narrow(title).c_str());
}

std::vector<VXDisplayMode> VXGlfwGame::displayModes() {
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    if (!monitor) return {};
    int count = 0;
    const GLFWvidmode* modes = glfwGetVideoModes(monitor, &count);
    std::vector<VideoMode> list;
    for (int i = 0; modes && i < count; ++i) {
        const GLFWvidmode& m = modes[i];
        list.push_back({m.width, m.height, m.redBits, m.greenBits, m.blueBits, m.refreshRate});
    }
    return modesAtUsableRates(list);
}

std::optional<VXDisplayMode> VXGlfwGame::desktopMode() {
    // No monitor at start: none, and the framework falls back to the device size.
    if (desktopVideoMode_.width <= 0 || desktopVideoMode_.height <= 0) return std::nullopt;
    VXDisplayMode mode;
    mode.width = desktopVideoMode_.width;
    mode.height = desktopVideoMode_.height;
    return mode;
}

void VXGlfwGame::setSwapInterval(int n) {
    swapInterval_ = n;
    if (n >= 0 && window_) glfwSwapInterval(n);
}

// ---- [joysticks] ----

int VXGlfwGame::countJoysticks(bool refresh) {
    if (!refresh && joysticksCounted_) return joystickCount_;
    joysticksCounted_ = true;
    joystickCount_ = 0;
    for (int id = GLFW_JOYSTICK_1; id <= GLFW_JOYSTICK_16 && joystickCount_ < 4; ++id) {
        if (glfwJoystickPresent(id)) joystickIds_[joystickCount_++] = id;
    }
    return joystickCount_;
}

bool VXGlfwGame::pollJoystick(int port, float* x, float* y, float* z, bool* buttons) {
    countJoysticks(false);
    if (port < 0 || port >= joystickCount_) return false;
    JoystickReading reading;
    reading.axes = glfwGetJoystickAxes(joystickIds_[port], &reading.axisCount);
    reading.buttons = glfwGetJoystickButtons(joystickIds_[port], &reading.buttonCount);
    if (!reading.axes || !reading.buttons) return false;
    mapJoystick(reading, x, y, z, buttons);
    return true;
}

// ---- [the loop] ----

void UpdateSchedule::setRate(int rate) {
    rate_ = rate;
    if (rate != 0) period_ = 1.0 / rate;
    nextUpdate_ = 0;
}

double UpdateSchedule::delay(double now) const {
    if (nextUpdate_ == 0) return 0;
    double d = nextUpdate_ - now;
    return d > 0 ? d : 0;
}

void VXGlfwGame::swapBuffers() {
    if (window_) glfwSwapBuffers(window_);
}

void VXGlfwGame::pollEvents(bool wait) {
    if (wait) glfwWaitEvents();
    else glfwPollEvents();
}

bool VXGlfwGame::windowFocused() {
    return window_ && glfwGetWindowAttrib(window_, GLFW_FOCUSED) != 0;
}

bool VXGlfwGame::shouldClose() { return !window_ || glfwWindowShouldClose(window_); }

void VXGlfwGame::run() {
    setDeviceWindow(kWindowWidth, kWindowHeight, WindowFlag::Decorated);
    runStart();
    GlfwLoopClock clock;
    runLoop(clock);
}

void VXGlfwGame::runLoop(LoopClock& clock) {
    while (!shouldClose()) runPass(clock);
}

// A frame that left nothing to show is not swapped (it drew nothing, or the renderer
// copied its small drawing to the window): the back buffer still holds the picture.
void VXGlfwGame::runPass(LoopClock& clock) {
    runRender();
    if (frameNeedsSwap()) swapBuffers();
    double delay = schedule_.delay(clock.now());
    if (delay > 0) clock.sleep(delay);
    pollEvents(suspended_);
    // Asking for the focus is a round trip to the X server: only a suspended host asks.
    if (suspended_ && windowFocused()) {
        runResume();
        schedule_.restart();
    }
    if (suspended_) return;
    if (updateRate_ == 0) {
        runUpdate();
        return;
    }
    schedule_.runDue(clock, [this] { runUpdate(); });
}
