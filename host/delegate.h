#pragma once
// The host's side of the application: the handler interface it calls and the event
// codes it posts.
//
// The host produces ten kinds of event and hands each to the one VXGameDelegate set
// on it (VXGame::setDelegate). What turns them into an application's handlers lives
// above the drivers, in framework/. The device size is cached here, refreshed by the
// delegate at start and at every update and render, so that drawing code reads it
// without reaching the window.
#include "host/object.h"

// Event codes.
struct c_VXGameEvent {
    static constexpr int KeyDown = 1, KeyUp = 2, KeyChar = 3;
    static constexpr int MouseDown = 4, MouseUp = 5, MouseMove = 6;
    static constexpr int TouchDown = 7, TouchUp = 8, TouchMove = 9;
    static constexpr int MotionAccel = 10;
};

class VXGameDelegate : public Object {
public:
    virtual void onStart() {}
    virtual void onSuspend() {}
    virtual void onResume() {}
    virtual void onUpdate() {}
    virtual void onRender() {}
    virtual void onKeyEvent(int, int) {}
    virtual void onMouseEvent(int, int, float, float, float) {}
    virtual void onTouchEvent(int, int, float, float) {}
    virtual void onMotionEvent(int, int, float, float, float) {}
    virtual void onDiscardGraphics() {}
    // The window's picture may be damaged (a refresh request, a focus change).
    virtual void onRefresh() {}
    // Whether the last render left anything for a swap to show; if not, none is done.
    virtual bool frameNeedsSwap() { return true; }
};

// Forwards to the host's setUpdateRate.
void setUpdateRate(int rate);

// Forwards to the host's setWindowIcon; `path` is a data path or a relative name.
void setWindowIcon(const String& path);

// Forward to the current host's zoom (window pixels per layout pixel) and its limits:
// the largest zoom that fits the monitor's work area, the desktop's content scale.
void setZoom(int zoom);
int zoom();
int largestZoom();
float desktopScale();
// Forwards to the current host's keyLabelled: the key the keymap labels `label`, or 0.
int keyLabelled(const char* label);

// The device size cached by the delegate at start and at every update and render.
int deviceWidth();
int deviceHeight();
// Reads the current host's device size into the cache.
void refreshDeviceSize();
