// Reading a window's pixels back through Xlib.
#include "support/window_pixels.h"

#include <GLFW/glfw3.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

// GLFW's X11 accessors (its native header would want the RandR headers too).
extern "C" Display* glfwGetX11Display(void);
extern "C" Window glfwGetX11Window(GLFWwindow* window);

#include <cstring>

namespace {
int ignoreError(Display*, XErrorEvent*) { return 0; }

// A window only has pixels to read once it is mapped on the screen.
bool waitUntilViewable(Display* display, Window window) {
    for (int i = 0; i < 200; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable) return true;
        glfwWaitEventsTimeout(0.005);
    }
    return false;
}
}  // namespace

bool readWindowPixels(GLFWwindow* window, int width, int height, std::vector<int>& out) {
    Display* display = glfwGetX11Display();
    if (!display || !window) return false;
    Window id = glfwGetX11Window(window);
    if (!waitUntilViewable(display, id)) return false;
    XSync(display, False);
    auto previous = XSetErrorHandler(ignoreError);
    XImage* image = XGetImage(display, id, 0, 0, unsigned(width), unsigned(height), AllPlanes,
                              ZPixmap);
    XSync(display, False);
    XSetErrorHandler(previous);
    if (!image) return false;
    out.assign(size_t(width) * size_t(height), 0);
    bool ok = image->bits_per_pixel == 32;
    for (int y = 0; ok && y < height; ++y)
        std::memcpy(&out[size_t(y) * width], image->data + size_t(y) * image->bytes_per_line,
                    size_t(width) * 4);
    for (int& p : out) p &= 0xffffff;
    XDestroyImage(image);
    return ok;
}
