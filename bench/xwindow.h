#pragma once
// The benchmarks' way to find a program's window on the X server: the mapped
// top-level window whose _NET_WM_PID is the program's process.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/types.h>

inline pid_t windowPid(Display* d, Window w) {
    static Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    pid_t pid = 0;
    if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                           &after, &data) == Success && data && count == 1)
        pid = pid_t(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    return pid;
}

// A mapped top-level window of process `pid`, or 0.
inline Window findWindow(Display* d, pid_t pid) {
    Window root = DefaultRootWindow(d), parent, *children = nullptr;
    unsigned int n = 0;
    Window found = 0;
    if (!XQueryTree(d, root, &root, &parent, &children, &n)) return 0;
    for (unsigned int i = 0; i < n && !found; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable &&
            windowPid(d, children[i]) == pid)
            found = children[i];
    }
    if (children) XFree(children);
    return found;
}

// Asks the window to close as a window manager would (WM_DELETE_WINDOW).
inline void askToClose(Display* d, Window w) {
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &e);
    XFlush(d);
}
