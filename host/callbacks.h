#pragma once
// The GLFW window callbacks: they turn window-system input into host events on the
// current VXGlfwGame. The handlers take plain values so a test can drive them.
struct GLFWwindow;

void installWindowCallbacks(GLFWwindow* window);

// Key press (action 1), repeat (2) or release (0) of a GLFW key code; a pressed key
// also posts its control or navigation character.
void onKeyInput(int glfwKey, int action);
void onCharInput(unsigned codePoint);
// Mouse button press (1) or release (0) at the cursor position. Positions are window
// pixels; the host posts them in layout pixels (divided by the zoom).
void onMouseButtonInput(int button, int action, double x, double y);
void onCursorInput(double x, double y);
void onScrollInput(double x, double y, double dy);
// The window manager asked to close the window.
void onCloseRequest();
// The window system asked for a refresh, or the focus changed.
void onRefreshRequest();
