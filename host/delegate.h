#pragma once
// The game delegate and the application base.
//
// The host produces ten kinds of event; c_GameDelegate turns them into the three
// handlers of the one application object (c_App): create once, update at the update
// rate, render once per loop pass. The delegate owns the renderer, the audio device
// and the input state from onStart on, for the whole run.
#include "host/object.h"

class gxtkGraphics;
class gxtkAudio;
class c_InputDevice;

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

class c_GameDelegate;

class c_App : public Object {
public:
    c_App();            // registers the one application and installs its delegate
    ~c_App() override;  // unregisters it (lets a test make a fresh application)
    virtual int handleCreate() { return 0; }
    virtual int handleUpdate() { return 0; }
    virtual int handleRender() { return 0; }
    // The window's close request, just before the process ends: the last chance to
    // keep what would otherwise be lost. The process ends whatever it returns.
    virtual int handleClose() { return 0; }
    static c_App* current();

private:
    c_GameDelegate* delegate_ = nullptr;   // created and owned by the application
};

class c_GameDelegate : public VXGameDelegate {
public:
    c_GameDelegate();
    ~c_GameDelegate() override;   // releases the renderer, audio device and input state
    void onStart() override;
    void onSuspend() override;
    void onResume() override;
    void onUpdate() override;
    void onRender() override;
    void onKeyEvent(int event, int data) override;
    void onMouseEvent(int event, int data, float x, float y, float z) override;
    void onTouchEvent(int event, int data, float x, float y) override;
    void onMotionEvent(int event, int data, float x, float y, float z) override;
    void onDiscardGraphics() override;
    void onRefresh() override;
    bool frameNeedsSwap() override;
    static c_GameDelegate* current();
    void quitOnClose();               // the close request: app's handleClose, audio closed, exit 0

    gxtkGraphics* graphics = nullptr;   // from onStart
    gxtkAudio* audio = nullptr;         // from onStart
    c_InputDevice* input = nullptr;     // from onStart
};

// Forwards to the host's setUpdateRate.
void setUpdateRate(int rate);

// Forwards to the host's setWindowIcon; `path` is a data path or a relative name.
void setWindowIcon(const String& path);

// The device size cached by the delegate at start and at every update and render.
int deviceWidth();
int deviceHeight();
