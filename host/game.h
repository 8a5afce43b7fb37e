#pragma once
// host/: the platform host (window, loop, input, data paths, files, streams, errors); it
// includes nothing of the floors above it.
//
// The application host: one window, the fixed-rate loop, and the services under
// the application (data paths, files, joysticks, window control).
//
//   pass:    one loop iteration: render once, swap (unless the frame left nothing to
//            show), sleep until the next update is due, poll events, run the updates
//            that are due (at most 4)
//   update:  one step of the application at `updateRate` per second (0: one per pass)
//   clock:   seconds on the GLFW clock; the loop reads it through a LoopClock so a
//            test can step the schedule without real time passing
//   window:  one, 640 x 475, decorated, not resizable, centred on the desktop; the
//            user's close request arrives as key code 432 (the delegate then quits)
//   zoom:    the window shows its layout (the device size, 640 x 475) at a whole
//            number of pixels per layout pixel; the device size, the pointer and
//            everything drawn stay in layout pixels, only the window grows. A change
//            keeps the window's top-left corner, moved just enough to lie on the
//            monitor's work area
//
// The host knows nothing of the application: it talks to one VXGameDelegate, which
// forwards to the application's create, update and render handlers. Only this folder
// includes GLFW. Everything runs on the main thread.
#include <cstdio>
#include <optional>
#include <vector>

#include "host/datapath.h"
#include "host/decode/decoded.h"
#include "host/object.h"

class VXGameDelegate;
struct GLFWwindow;
struct GLFWmonitor;

struct VXDisplayMode : Object {
    int width = 0;
    int height = 0;
    int depth = 0;      // always 0 on this host
    int hertz = 0;      // always 0 on this host
    int flags = 0;      // always 0 on this host
};

// A rectangle of the desktop in screen pixels (a monitor's work area).
struct ScreenArea {
    int x = 0, y = 0, width = 0, height = 0;
};

struct VideoMode {
    int width = 0, height = 0, redBits = 0, greenBits = 0, blueBits = 0, refreshRate = 0;
};

// Where the loop takes its time from; the real one reads glfwGetTime and sleeps
// with nanosleep, a test's advances by hand.
class LoopClock {
public:
    virtual ~LoopClock() = default;
    virtual double now() = 0;                 // seconds
    virtual void sleep(double seconds) = 0;   // returns after at least `seconds`
};

// The real clock: glfwGetTime, and nanosleep resumed after a signal interrupts it.
class GlfwLoopClock : public LoopClock {
public:
    double now() override;
    void sleep(double seconds) override;
};

// The update schedule of the loop: when updates are due and how many run in a pass.
class UpdateSchedule {
public:
    static constexpr int kMaxCatchUp = 4;     // updates per pass at most
    void setRate(int rate);                   // resets the schedule (nextUpdate = 0)
    int rate() const { return rate_; }
    double period() const { return period_; }
    double nextUpdate() const { return nextUpdate_; }
    void restart() { nextUpdate_ = 0; }
    // Seconds to sleep before the next update is due (0 when none is scheduled).
    double delay(double now) const;
    // Runs the updates that are due at `clock`'s time, at most 4, through `update`;
    // an update that resets the schedule ends the run, and a backlog left after the
    // fourth is dropped (the next pass starts the schedule again). Returns how many ran.
    template <class F> int runDue(LoopClock& clock, F update);

private:
    int rate_ = 0;             // updates per second; 0 = one update per pass
    double period_ = 0;        // seconds, 1 / rate
    double nextUpdate_ = 0;    // due time of the next update; 0 = schedule not running
};

template <class F> int UpdateSchedule::runDue(LoopClock& clock, F update) {
    if (nextUpdate_ == 0) nextUpdate_ = clock.now();
    for (int ran = 1; ran <= kMaxCatchUp; ++ran) {
        update();
        if (nextUpdate_ == 0) return ran;
        nextUpdate_ += period_;
        if (nextUpdate_ > clock.now()) return ran;
    }
    nextUpdate_ = 0;
    return kMaxCatchUp;
}

class VXGame : public Object {
public:
    VXGame();
    ~VXGame() override;
    static VXGame* current();

    virtual void setDelegate(VXGameDelegate* d) { delegate_ = d; }
    virtual VXGameDelegate* delegate() { return delegate_; }
    virtual void setKeyboardEnabled(bool e) { keyboardEnabled_ = e; }
    virtual bool keyboardEnabled() { return keyboardEnabled_; }
    virtual void setUpdateRate(int rate) { updateRate_ = rate; }
    virtual int updateRate() { return updateRate_; }
    bool started() const { return started_; }
    bool suspended() const { return suspended_; }
    virtual int millisecs() { return 0; }
    void getDate(std::vector<int>& date);

    // Data paths, files and saved state (datapath.cpp).
    virtual String mapDataPath(const String& path) { return path; }
    FILE* openFile(const String& path, const char* mode);
    // Whole-file loads: regular files of at most `maxBytes` only (datapath.h).
    std::optional<std::vector<uint8_t>> loadData(const String& path, size_t maxBytes = kMaxDataFileBytes);
    String loadString(const String& path, size_t maxBytes = kMaxDataFileBytes);
    int saveState(const String& text);
    String loadState();
    virtual void openUrl(const String&) {}
    std::optional<ImagePixels> loadImagePixels(const String& path);
    std::optional<DecodedSound> loadAudioSamples(const String& path);

    // Joysticks.
    virtual int countJoysticks(bool) { return 0; }
    virtual bool pollJoystick(int, float*, float*, float*, bool*) { return false; }

    // Window control.
    virtual void setMouseVisible(bool) {}
    virtual void setMousePosition(double, double) {}
    virtual void setClipboard(const String&) {}
    virtual String getClipboard() { return String(); }
    virtual int deviceWidth() { return 0; }
    virtual int deviceHeight() { return 0; }
    virtual int framebufferWidth() { return deviceWidth(); }    // pixels
    virtual int framebufferHeight() { return deviceHeight(); }  // pixels
    virtual void setDeviceWindow(int, int, int) {}
    virtual void setWindowIcon(const String&) {}
    virtual void setWindowPosition(int, int) {}
    virtual void setWindowSize(int, int) {}
    virtual void setWindowSizeLimits(int, int, int, int) {}
    virtual void setWindowTitle(const String&) {}
    virtual std::vector<VXDisplayMode> displayModes() { return {}; }
    virtual std::optional<VXDisplayMode> desktopMode() { return std::nullopt; }
    virtual void setSwapInterval(int) {}
    // Window pixels per layout pixel (1..); before the window exists it sets the size
    // the window opens at.
    virtual void setZoom(int) {}
    virtual int zoom() { return 1; }
    // The largest zoom at which the window, frame included, fits the work area of its
    // monitor (the primary monitor before there is a window); at least 1.
    virtual int largestZoom() { return 1; }
    // The desktop's content scale (X11: Xft.dpi / 96), 1 where none is set.
    virtual float desktopScale() { return 1; }
    // The key code of the key the keymap labels `label` (the character it types without
    // Shift, UTF-8), 0 when no key is; a key with a code of its own on every keymap
    // (the keypad, Space) has no label.
    virtual int keyLabelled(const char*) { return 0; }
    // Counts the window's size changes: each leaves its picture to be drawn anew.
    virtual int resizes() { return 0; }

    // Prints "Vantorix Runtime Error : Uncaught Vantorix Exception", exits with -1.
    [[noreturn]] void reportUncaught(const ThrowableObject* thrown);

    // Dispatchers: check the host state, then call the delegate inside a guard.
    void runStart();
    void runSuspend();
    void runResume();
    void runUpdate();
    void runRender();
    void postKeyEvent(int event, int data);
    void postMouseEvent(int event, int data, float x, float y, float z);
    void postTouchEvent(int event, int data, float x, float y);
    void postMotionEvent(int event, int data, float x, float y, float z);
    void postDiscardGraphics();
    // The window system asked for a refresh, or the focus changed: the picture may be damaged.
    void postRefresh();
    // Whether the last render left anything for a swap to show (no delegate: assume so).
    bool frameNeedsSwap();

protected:
    // Calls `call` on the delegate; a thrown error object escaping it is reported.
    template <class F> void dispatch(F call);

    VXGameDelegate* delegate_ = nullptr;
    bool keyboardEnabled_ = false;
    int updateRate_ = 0;
    bool started_ = false;
    bool suspended_ = false;
};

class VXGlfwGame : public VXGame {
public:
    VXGlfwGame();
    ~VXGlfwGame() override;
    static VXGlfwGame* current();

    void setUpdateRate(int rate) override;
    int millisecs() override;
    String mapDataPath(const String& path) override;
    void openUrl(const String& url) override;
    int countJoysticks(bool refresh) override;
    bool pollJoystick(int port, float* x, float* y, float* z, bool* buttons) override;
    void setMouseVisible(bool visible) override;
    void setMousePosition(double x, double y) override;
    void setClipboard(const String& text) override;
    String getClipboard() override;
    int deviceWidth() override { return deviceWidth_; }
    int deviceHeight() override { return deviceHeight_; }
    int framebufferWidth() override;
    int framebufferHeight() override;
    void setDeviceWindow(int width, int height, int flags) override;
    void setWindowIcon(const String& path) override;
    void setWindowPosition(int x, int y) override;
    void setWindowSize(int w, int h) override;
    void setWindowSizeLimits(int minW, int minH, int maxW, int maxH) override;
    void setWindowTitle(const String& title) override;
    std::vector<VXDisplayMode> displayModes() override;
    std::optional<VXDisplayMode> desktopMode() override;
    void setSwapInterval(int n) override;
    void setZoom(int zoom) override;
    int zoom() override { return zoom_; }
    int largestZoom() override;
    float desktopScale() override;
    int resizes() override { return resizes_; }
    int keyLabelled(const char* label) override;

    // The game loop: opens the window, starts the application, then runs passes
    // until GLFW's close flag is set.
    void run();
    // Runs passes on `clock` until shouldClose() (tests drive this with their clock).
    void runLoop(LoopClock& clock);
    // One pass: render, swap if the frame needs it, sleep until the next update is
    // due, poll events, then the due updates (one when the rate is 0, none while
    // suspended).
    void runPass(LoopClock& clock);

    // The window-system steps of a pass (a test host replaces them).
    virtual void swapBuffers();
    virtual void pollEvents(bool wait);
    virtual bool windowFocused();
    virtual bool shouldClose();

    // Tests and tools point the data folder elsewhere (the executable's folder otherwise).
    void setDataRoot(const String& root) { dataRoot_ = root; }
    GLFWwindow* window() { return window_; }
    // The window's new size in pixels, from the window system.
    void setWindowSizeFromCallback(int w, int h);
    UpdateSchedule& schedule() { return schedule_; }

protected:
    GLFWmonitor* windowMonitor();   // the monitor under the window's centre, or the primary
    void fitOnWorkArea();
    void resized();
    VideoMode desktopVideoMode_;   // the desktop mode at start
    GLFWwindow* window_ = nullptr;
    int deviceWidth_ = 0;          // client size in layout pixels (window / zoom)
    int deviceHeight_ = 0;
    int windowWidth_ = 0;          // client size in pixels, as asked or last reported
    int windowHeight_ = 0;
    int zoom_ = 1;                 // window pixels per layout pixel
    int resizes_ = 0;              // size changes of the window (zoom, window system)
    int swapInterval_ = 1;         // < 0: leave the context's interval unchanged
    UpdateSchedule schedule_;      // updatePeriod and nextUpdate
    String dataRoot_;              // the executable's folder, found on first use
    String internalRoot_;
    int joystickIds_[4] = {0, 0, 0, 0};
    int joystickCount_ = 0;
    bool joysticksCounted_ = false;
};

class VXVantorixGame : public VXGlfwGame {};

// Incremented each time the host creates a window and with it a GL context.
extern int contextGeneration;

// The window system around the host's life: the error callback (prints
// "GLFW Error: err=%i, msg=%s"), initialisation and termination.
void installHostErrorCallback();
bool initHostWindowSystem();
void terminateHostWindowSystem();

// The fixed window of this program.
constexpr const char* kWindowTitle = "Tamo Tracker v1.706 - by vendl/birchforge";
constexpr int kWindowWidth = 640, kWindowHeight = 475;
// setDeviceWindow flag bits.
namespace WindowFlag {
constexpr int FullScreen = 1, Resizable = 2, Decorated = 4, Floating = 8, DepthBuffer = 16,
              SingleBuffered = 32, SecondMonitor = 64, StencilBuffer = 128;
}
