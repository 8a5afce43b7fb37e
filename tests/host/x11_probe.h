#pragma once
// Looks at windows from outside, as the X server and a window manager see them.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class X11Probe {
public:
    X11Probe() : display_(XOpenDisplay(nullptr)) {}
    ~X11Probe() {
        if (display_) XCloseDisplay(display_);
    }
    bool ok() const { return display_ != nullptr; }

    // Gives the keyboard focus to the root window (no window has it afterwards).
    void focusRoot() {
        if (!display_) return;
        XSetInputFocus(display_, PointerRoot, RevertToPointerRoot, CurrentTime);
        XSync(display_, False);
    }

    // The mapped top-level window titled `title`, waiting up to `seconds`; 0 if none.
    Window waitForWindow(const std::string& title, double seconds = 15) {
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        do {
            if (Window w = findMapped(title)) return w;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (std::chrono::steady_clock::now() < until);
        return 0;
    }

    std::string title(Window w) {
        char* name = nullptr;
        std::string text;
        if (XFetchName(display_, w, &name) && name) text = name;
        if (name) XFree(name);
        return text;
    }

    struct Geometry { int x = 0, y = 0, width = 0, height = 0; };
    Geometry geometry(Window w) {
        Geometry g;
        XWindowAttributes a;
        if (!XGetWindowAttributes(display_, w, &a)) return g;
        Window child;
        XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &g.x, &g.y, &child);
        g.width = a.width;
        g.height = a.height;
        return g;
    }

    // True when the size hints pin the window to one size (the user cannot resize it).
    bool fixedSize(Window w, int width, int height) {
        XSizeHints hints;
        long supplied = 0;
        if (!XGetWMNormalHints(display_, w, &hints, &supplied)) return false;
        return (hints.flags & PMinSize) && (hints.flags & PMaxSize) && hints.min_width == width &&
               hints.max_width == width && hints.min_height == height && hints.max_height == height;
    }

    // What a window manager sends when the user clicks the close button.
    void requestClose(Window w) {
        XEvent e = {};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = long(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, w, False, NoEventMask, &e);
        XFlush(display_);
    }

    // The window's WM_CLASS as "instance class".
    std::string windowClass(Window w) {
        XClassHint hint = {};
        if (!XGetClassHint(display_, w, &hint)) return {};
        std::string text = std::string(hint.res_name ? hint.res_name : "") + " " +
                           (hint.res_class ? hint.res_class : "");
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
        return text;
    }

    // The first image of the window's _NET_WM_ICON: size and ARGB pixels, row by row.
    struct Icon {
        int width = 0, height = 0;
        std::vector<uint32_t> argb;
    };
    Icon icon(Window w) {
        Icon icon;
        Atom type;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        Atom property = XInternAtom(display_, "_NET_WM_ICON", False);
        if (XGetWindowProperty(display_, w, property, 0, 1 << 20, False, XA_CARDINAL, &type,
                               &format, &count, &after, &data) != Success || !data)
            return icon;
        const unsigned long* words = reinterpret_cast<const unsigned long*>(data);
        if (format == 32 && count >= 2 && count - 2 >= words[0] * words[1]) {
            icon.width = int(words[0]);
            icon.height = int(words[1]);
            for (unsigned long i = 0; i < words[0] * words[1]; ++i)
                icon.argb.push_back(uint32_t(words[2 + i]));
        }
        XFree(data);
        return icon;
    }

private:
    Window findMapped(const std::string& wanted) {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count))
            return 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display_, children[i], &a) && a.map_state == IsViewable &&
                title(children[i]) == wanted)
                found = children[i];
        }
        if (children) XFree(children);
        return found;
    }

    Display* display_;
};
