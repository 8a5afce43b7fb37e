// bare-window [WIDTH HEIGHT]: the cheapest program that looks like the tracker to the
// system: one window (640 x 475 unless told), cleared to the tracker's background colour
// and swapped 50 times a second, paced with nanosleep like the tracker's loop. Closing
// it ends it with 0.
#include <GLFW/glfw3.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

static void sleepSeconds(double s) {
    if (s <= 0) return;
    timespec t;
    t.tv_sec = time_t(s);
    t.tv_nsec = long((s - double(t.tv_sec)) * 1e9);
    nanosleep(&t, nullptr);
}

int main(int argc, char** argv) {
    int width = argc > 2 ? atoi(argv[1]) : 640, height = argc > 2 ? atoi(argv[2]) : 475;
    if (width <= 0 || height <= 0) return 2;
    if (!glfwInit()) return 1;
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(width, height, "bare window", nullptr, nullptr);
    if (!window) return 1;
    glfwMakeContextCurrent(window);
    const double period = 1.0 / 50.0;
    double next = glfwGetTime();
    while (!glfwWindowShouldClose(window)) {
        glClearColor(86 / 255.0f, 60 / 255.0f, 106 / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glfwSwapBuffers(window);
        next += period;
        double now = glfwGetTime();
        if (next < now - 4 * period) next = now;   // drop a backlog like the tracker
        sleepSeconds(next - now);
        glfwPollEvents();
    }
    glfwTerminate();
    return 0;
}
