// GLFW window callbacks: translation of keys, buttons, the pointer, the wheel, the
// close request and size changes into host events.
#include "host/callbacks.h"

#include <GLFW/glfw3.h>

#include "host/delegate.h"
#include "host/game.h"
#include "host/input.h"

namespace {

VXGlfwGame* host() { return VXGlfwGame::current(); }

// Window pixels to layout pixels.
float layout(VXGlfwGame& game, double pixels) { return float(pixels / game.zoom()); }

// The character a pressed key types besides its key code, or 0.
int synthesisedChar(int code) {
    switch (code) {
    case Key::Backspace: case Key::Tab: case Key::Enter: case Key::Escape: return code;
    case Key::Delete: return 127;
    default: break;
    }
    if ((code >= Key::PageUp && code <= Key::Down) || code == Key::Insert) return 65536 + code;
    return 0;
}

void keyCallback(GLFWwindow*, int key, int, int action, int) { onKeyInput(key, action); }
void charCallback(GLFWwindow*, unsigned codePoint) { onCharInput(codePoint); }

void mouseButtonCallback(GLFWwindow* window, int button, int action, int) {
    double x = 0, y = 0;
    glfwGetCursorPos(window, &x, &y);
    onMouseButtonInput(button, action, x, y);
}

void cursorCallback(GLFWwindow*, double x, double y) { onCursorInput(x, y); }

void scrollCallback(GLFWwindow* window, double, double dy) {
    double x = 0, y = 0;
    glfwGetCursorPos(window, &x, &y);
    onScrollInput(x, y, dy);
}

void closeCallback(GLFWwindow* window) {
    // The program decides about closing: it sees the request as key code 432.
    glfwSetWindowShouldClose(window, GLFW_FALSE);
    onCloseRequest();
}

// Uncovered, restored, moved to another screen, or the focus changed: what the window
// shows may be damaged, and the next frame mends it.
void refreshCallback(GLFWwindow*) { onRefreshRequest(); }
void focusCallback(GLFWwindow*, int) { onRefreshRequest(); }

void sizeCallback(GLFWwindow*, int width, int height) {
    if (VXGlfwGame* game = host()) game->setWindowSizeFromCallback(width, height);
}

}  // namespace

void installWindowCallbacks(GLFWwindow* window) {
    glfwSetKeyCallback(window, keyCallback);
    glfwSetCharCallback(window, charCallback);
    glfwSetMouseButtonCallback(window, mouseButtonCallback);
    glfwSetCursorPosCallback(window, cursorCallback);
    glfwSetScrollCallback(window, scrollCallback);
    glfwSetWindowCloseCallback(window, closeCallback);
    glfwSetWindowSizeCallback(window, sizeCallback);
    glfwSetWindowRefreshCallback(window, refreshCallback);
    glfwSetWindowFocusCallback(window, focusCallback);
}

void onRefreshRequest() {
    if (VXGlfwGame* game = host()) game->postRefresh();
}

void onKeyInput(int glfwKey, int action) {
    VXGlfwGame* game = host();
    int code = translateGlfwKey(glfwKey);
    if (!game || !code) return;
    if (action == GLFW_RELEASE) {
        game->postKeyEvent(c_VXGameEvent::KeyUp, code);
        return;
    }
    // A repeat posts the key down again (it does not count twice) and its character.
    game->postKeyEvent(c_VXGameEvent::KeyDown, code);
    if (int c = synthesisedChar(code)) game->postKeyEvent(c_VXGameEvent::KeyChar, c);
}

void onCharInput(unsigned codePoint) {
    if (VXGlfwGame* game = host()) game->postKeyEvent(c_VXGameEvent::KeyChar, int(codePoint));
}

void onMouseButtonInput(int button, int action, double x, double y) {
    VXGlfwGame* game = host();
    if (!game || button < 0 || button > 2) return;
    int event = action == GLFW_PRESS ? c_VXGameEvent::MouseDown : c_VXGameEvent::MouseUp;
    game->postMouseEvent(event, button, layout(*game, x), layout(*game, y), 0);
}

void onCursorInput(double x, double y) {
    if (VXGlfwGame* game = host())
        game->postMouseEvent(c_VXGameEvent::MouseMove, -1, layout(*game, x), layout(*game, y), 0);
}

void onScrollInput(double x, double y, double dy) {
    if (VXGlfwGame* game = host())
        game->postMouseEvent(c_VXGameEvent::MouseMove, -1, layout(*game, x), layout(*game, y),
                             float(dy));
}

void onCloseRequest() {
    VXGlfwGame* game = host();
    if (!game) return;
    game->postKeyEvent(c_VXGameEvent::KeyDown, Key::Close);
    game->postKeyEvent(c_VXGameEvent::KeyUp, Key::Close);
}
