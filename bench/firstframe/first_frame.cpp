// tamo-firstframe X Y R G B PROGRAM [ARGS...]
// Starts PROGRAM on $DISPLAY and prints the milliseconds from the launch until a
// window of that process shows the colour R G B at its pixel X, Y: the first frame a
// user sees. The program is then asked to close (the window manager's delete message)
// and its exit status is reported as well. Exit status 1 on a timeout (10 s).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "../xwindow.h"

using Clock = std::chrono::steady_clock;

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
    if (w) askToClose(d, w);
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
