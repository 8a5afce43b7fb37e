// tamo-firstframe X Y R G B PROGRAM [ARGS...]
// Starts PROGRAM on $DISPLAY and prints the milliseconds from the launch until a
// window of that process shows the colour R G B at its pixel X, Y: the first frame a
// user sees. The program is then asked to close (the window manager's delete message)
// and its exit status is reported as well. Exit status 1 on a timeout (10 s).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

static pid_t windowPid(Display* d, Window w) {
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
static Window findWindow(Display* d, pid_t pid) {
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

static int ignoreErrors(Display*, XErrorEvent*) { return 0; }

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr, "usage: tamo-firstframe X Y R G B PROGRAM [ARGS...]\n");
        return 2;
    }
    int x = atoi(argv[1]), y = atoi(argv[2]);
    int want[3] = {atoi(argv[3]), atoi(argv[4]), atoi(argv[5])};
    Display* d = XOpenDisplay(nullptr);
    if (!d) { std::fprintf(stderr, "tamo-firstframe: no display\n"); return 2; }
    XSetErrorHandler(ignoreErrors);

    auto start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        execv(argv[6], argv + 6);
        _exit(127);
    }
    double ms = -1;
    Window w = 0;
    while (Clock::now() - start < std::chrono::seconds(10)) {
        if (!w) w = findWindow(d, child);
        if (w) {
            XImage* img = XGetImage(d, w, x, y, 1, 1, AllPlanes, ZPixmap);
            if (img) {
                unsigned long p = XGetPixel(img, 0, 0);
                int rgb[3] = {int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255)};
                XDestroyImage(img);
                if (abs(rgb[0] - want[0]) <= 2 && abs(rgb[1] - want[1]) <= 2 &&
                    abs(rgb[2] - want[2]) <= 2) {
                    ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                    break;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    int status = -1;
    if (w) {
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
    for (int i = 0; i < 300; ++i) {
        if (waitpid(child, &status, WNOHANG) == child) break;
        if (i == 299) { kill(child, SIGKILL); waitpid(child, &status, 0); }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (ms < 0) {
        std::printf("timeout\n");
        return 1;
    }
    std::printf("%.1f ms (exit status %d)\n", ms, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}
