#pragma once
// Test doubles for the host: a host whose window-system steps are scripted, a clock
// that only moves when told, and an application that runs test code in its handlers.
#include <functional>
#include <string>
#include <vector>

#include "framework/app.h"
#include "host/game.h"
#include "host/input.h"

// A clock that moves only when the loop sleeps or a test advances it.
class TestClock : public LoopClock {
public:
    double time = 100.0;               // seconds; any non-zero start
    std::vector<double> sleeps;        // every sleep the loop asked for
    double now() override { return time; }
    void sleep(double seconds) override {
        sleeps.push_back(seconds);
        time += seconds;
    }
};

// A VXGlfwGame without a window: the pass's swap, poll, focus and close steps are
// test code. It may be started without running the delegate's start.
class TestHost : public VXGlfwGame {
public:
    std::function<void(bool wait)> onPoll;   // runs where the event poll would
    bool focused = true;
    int passesLeft = 0;                      // runLoop stops when it reaches 0
    std::vector<bool> polls;                 // the wait flag of each poll
    int swaps = 0;
    int focusQueries = 0;                    // each a round trip on a real display

    void swapBuffers() override { ++swaps; }
    void pollEvents(bool wait) override {
        polls.push_back(wait);
        if (onPoll) onPoll(wait);
    }
    bool windowFocused() override {
        ++focusQueries;
        return focused;
    }
    bool shouldClose() override { return passesLeft-- <= 0; }
    // Lets events through without the delegate's start (which opens real devices).
    void markStarted() { started_ = true; }
};

// A delegate that records the host events it receives.
class RecordingDelegate : public VXGameDelegate {
public:
    std::vector<std::string> log;
    std::function<void()> onUpdateHook;
    bool drawn = true;                        // what frameNeedsSwap answers
    void onStart() override { log.push_back("start"); }
    void onSuspend() override { log.push_back("suspend"); }
    void onResume() override { log.push_back("resume"); }
    void onUpdate() override {
        log.push_back("update");
        if (onUpdateHook) onUpdateHook();
    }
    void onRender() override { log.push_back("render"); }
    void onRefresh() override { log.push_back("refresh"); }
    bool frameNeedsSwap() override { return drawn; }
    void onKeyEvent(int e, int d) override {
        log.push_back("key " + std::to_string(e) + " " + std::to_string(d));
    }
    int count(const std::string& what) const {
        int n = 0;
        for (auto& s : log) n += s == what;
        return n;
    }
};

// An application whose handlers run test code.
class TestApp : public c_App {
public:
    std::function<void()> create, update, render;
    std::function<int()> close;   // the answer to a close request; none: 0
    int handleCreate() override { if (create) create(); return 0; }
    int handleUpdate() override { if (update) update(); return 0; }
    int handleRender() override { if (render) render(); return 0; }
    int handleClose() override { return close ? close() : 0; }
};

// A started host with a real application and delegate whose input state exists, as
// after the delegate's start, but without renderer or audio device.
struct InputRig {
    TestHost host;
    TestApp app;
    c_GameDelegate* delegate = c_GameDelegate::current();
    InputRig() {
        delegate->input = new c_InputDevice();
        c_InputDevice::setCurrent(delegate->input);
        host.markStarted();
    }
    c_InputDevice& input() { return *delegate->input; }
};
