// The game delegate: host events in, the application's three handlers out.
#include "framework/app.h"

#include "audio/audio.h"
#include "graphics/drawing.h"
#include "graphics/font.h"
#include "graphics/renderer.h"
#include "host/datapath.h"
#include "host/display.h"
#include "host/errors.h"
#include "host/game.h"
#include "host/input.h"

namespace {
c_App* currentApp = nullptr;
c_GameDelegate* currentDelegate = nullptr;
constexpr int kCloseCode = 432;
constexpr int kUnusedCloseCode = 416;   // no key, button or finger has it
constexpr int kFinger0 = 384;
}  // namespace

// ---------------------------------------------------------------- application

c_App::c_App() {
    if (currentApp) raiseError(U"App has already been created");
    currentApp = this;
    delegate_ = new c_GameDelegate();
    if (VXGame* host = VXGame::current()) host->setDelegate(delegate_);
}

c_App::~c_App() {
    if (currentApp == this) currentApp = nullptr;
    VXGame* host = VXGame::current();
    if (host && host->delegate() == delegate_) host->setDelegate(nullptr);
    delete delegate_;
}

c_App* c_App::current() { return currentApp; }

// ---------------------------------------------------------------- delegate

c_GameDelegate::c_GameDelegate() { currentDelegate = this; }

c_GameDelegate::~c_GameDelegate() {
    if (currentDelegate == this) currentDelegate = nullptr;
    if (c_InputDevice::current() == input) c_InputDevice::setCurrent(nullptr);
    delete input;
    delete audio;
    if (renderDevice == graphics) renderDevice = nullptr;
    if (graphicsDevice == graphics) graphicsDevice = nullptr;
    delete graphics;
}

c_GameDelegate* c_GameDelegate::current() { return currentDelegate; }

void c_GameDelegate::onStart() {
    graphics = new gxtkGraphics();
    graphicsDevice = graphics;
    setFont(nullptr);
    if (!graphicsContext()->defaultFont) reportDataFile(kDefaultFontName);
    audioDue_ = true;
    input = new c_InputDevice();
    c_InputDevice::setCurrent(input);
    refreshDeviceSize();
    buildDisplayModes();
    if (currentApp) currentApp->handleCreate();
}

void c_GameDelegate::openAudio() {
    audioDue_ = false;
    audio = new gxtkAudio();
    audioDevice = audio;
    if (currentApp) currentApp->handleCreateSounds();
}

void c_GameDelegate::onSuspend() {
    if (audio) audio->suspend();
}

void c_GameDelegate::onResume() {
    if (audio) audio->resume();
}

void c_GameDelegate::onUpdate() {
    if (audioDue_) openAudio();
    refreshDeviceSize();
    if (input) input->beginUpdate();
    if (currentApp) currentApp->handleUpdate();
    if (input) input->endUpdate();
    if (audio) audio->rest();   // the mixer pauses after a quiet spell
}

void c_GameDelegate::onRender() {
    refreshDeviceSize();
    int mode = graphics ? graphics->beginFrame() : 1;
    if (graphics && mode != 0) {
        renderDevice = graphics;
        resetDrawingState();
    }
    if (mode != 2 && currentApp) currentApp->handleRender();
    if (graphics) {
        if (mode != 0) renderDevice = nullptr;
        graphics->endFrame();
    }
}

// The window's close request: the application has its say; unless it keeps the
// window open, the audio device is closed (so the output is finished, a wave capture
// included), then the process ends with status 0.
void c_GameDelegate::quitOnClose() {
    if (audioDue_) openAudio();   // the start ends as it would have: sounds loaded, reports made
    if (currentApp && currentApp->handleClose() != 0) return;
    delete audio;
    audio = nullptr;
    raiseError(String());
}

void c_GameDelegate::onKeyEvent(int event, int data) {
    switch (event) {
    case c_VXGameEvent::KeyDown:
        if (input) input->pressKey(data);
        if (data == kCloseCode || data == kUnusedCloseCode) quitOnClose();
        break;
    case c_VXGameEvent::KeyUp:
        if (input) input->releaseKey(data);
        break;
    case c_VXGameEvent::KeyChar:
        if (input) input->putChar(data);
        break;
    default: break;
    }
}

void c_GameDelegate::onMouseEvent(int event, int data, float x, float y, float z) {
    if (!input) return;
    switch (event) {
    case c_VXGameEvent::MouseDown:
        input->pressKey(data + 1);
        input->setPointer(x, y, z);
        break;
    case c_VXGameEvent::MouseUp: input->releaseKey(data + 1); break;
    case c_VXGameEvent::MouseMove: input->setPointer(x, y, z); break;
    default: break;
    }
}

void c_GameDelegate::onTouchEvent(int event, int data, float x, float y) {
    if (!input || data < 0 || data >= 32) return;
    switch (event) {
    case c_VXGameEvent::TouchDown:
        input->pressKey(kFinger0 + data);
        input->setTouch(data, x, y);
        break;
    case c_VXGameEvent::TouchUp: input->releaseKey(kFinger0 + data); break;
    case c_VXGameEvent::TouchMove: input->setTouch(data, x, y); break;
    default: break;
    }
}

void c_GameDelegate::onMotionEvent(int event, int, float x, float y, float z) {
    if (input && event == c_VXGameEvent::MotionAccel) input->setAcceleration(x, y, z);
}

void c_GameDelegate::onDiscardGraphics() {
    if (graphics) graphics->discardGraphics();
}

void c_GameDelegate::onRefresh() {
    if (graphics) graphics->markDamaged();
}

bool c_GameDelegate::frameNeedsSwap() { return !graphics || graphics->needsSwap(); }
