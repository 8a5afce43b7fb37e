#pragma once
// framework/: ties the host, graphics and audio together for one application.
//
// The host produces ten kinds of event (host/delegate.h); c_GameDelegate turns them
// into the handlers of the one application object (c_App): create once, update at the
// update rate, render once per loop pass. The delegate owns the renderer and the input
// state from onStart on, for the whole run. The audio device is opened only after
// that, just before the first update: opening it takes tens of milliseconds that the
// first frame need not wait for, and nothing sounds before an update. After every
// update the audio device counts a quiet one (it rests after a quiet spell).
#include "host/delegate.h"

class gxtkGraphics;
class gxtkAudio;
class c_InputDevice;

class c_GameDelegate;

class c_App : public Object {
public:
    c_App();            // registers the one application and installs its delegate
    ~c_App() override;  // unregisters it (lets a test make a fresh application)
    virtual int handleCreate() { return 0; }
    // The audio device has just been opened: sounds are loaded here. It runs once,
    // after handleCreate and the first frame, before the first update (or before
    // handleClose when the window is closed before any update ran).
    virtual int handleCreateSounds() { return 0; }
    virtual int handleUpdate() { return 0; }
    virtual int handleRender() { return 0; }
    // The window's close request: the last chance to keep what would otherwise be
    // lost. 0 ends the process; anything else keeps the window open and running (the
    // application could not keep its work and says so; a later request asks again).
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
    void quitOnClose();               // the close request: app's handleClose; unless it refused,
                                      // audio closed, exit 0

    gxtkGraphics* graphics = nullptr;   // from onStart
    gxtkAudio* audio = nullptr;         // from the first update
    c_InputDevice* input = nullptr;     // from onStart

private:
    void openAudio();                   // opens the device, then the app's handleCreateSounds
    bool audioDue_ = false;             // started, and the device not opened yet
};
