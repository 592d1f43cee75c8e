// startup_watch.cpp -- runs a program and reports how long it takes until its picture is on the X
// screen: from just before the program is started until most points of a grid over the screen
// show something other than black (the root window is black). Usage: startup_watch PROGRAM [ARGS].
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_watch PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startup_watch: no X display\n");
        return 2;
    }
    const Window root = DefaultRootWindow(display);
    const int width = DisplayWidth(display, DefaultScreen(display));
    const int height = DisplayHeight(display, DefaultScreen(display));
    // Eleven rows of the screen, fifteen points on each: a few small requests, so that watching
    // costs the X server (and the program it serves) little.
    auto shown = [&] {
        int lit = 0, points = 0;
        for (int gy = 1; gy < 12; ++gy) {
            XImage* row = XGetImage(display, root, 0, gy * height / 12, unsigned(width), 1, AllPlanes, ZPixmap);
            if (!row) return false;
            for (int gx = 1; gx < 16; ++gx, ++points) lit += (XGetPixel(row, gx * width / 16, 0) & 0xE0E0E0) != 0;
            XDestroyImage(row);
        }
        return 2 * lit > points;
    };
    if (shown()) {
        std::fprintf(stderr, "startup_watch: the screen is not black before the start\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    double ms = -1;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        if (shown()) {
            ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            break;
        }
        if (waitpid(child, nullptr, WNOHANG) == child) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    if (ms < 0) {
        std::fprintf(stderr, "startup_watch: %s showed nothing\n", argv[1]);
        return 1;
    }
    std::printf("%.0f\n", ms);
    return 0;
}
