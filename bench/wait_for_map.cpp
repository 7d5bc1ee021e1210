// wait-for-map [--settle MS] PROGRAM [ARGS...]
// Starts PROGRAM and waits for its first top-level window to be mapped on the X display; prints
// the time from exec to the map, and the program's resident and proportional memory once it
// has been idle for MS milliseconds (default 1000). Then ends the program.
//
// The X connection listens on the root window before the program starts, so no map can be
// missed, and the map is seen when the server does it, with no polling delay.

#include <X11/Xlib.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/select.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A field of /proc/PID/smaps_rollup in KiB, or -1.
long smapsField(pid_t pid, const std::string& field) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    const std::string wanted = field + ":";
    for (std::string line; std::getline(rollup, line);) {
        if (line.compare(0, wanted.size(), wanted) == 0)
            return std::atol(line.c_str() + wanted.size());
    }
    return -1;
}

// Returns false when the program ended or nothing was mapped within the time allowed.
bool waitForTopLevelMap(Display* display, pid_t child, Clock::time_point deadline) {
    const int fd = ConnectionNumber(display);
    while (Clock::now() < deadline) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect)
                return true;
        }
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            return false;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        timeval timeout{0, 50000};
        ::select(fd + 1, &readable, nullptr, nullptr, &timeout);
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    int first = 1;
    long settleMs = 1000;
    if (argc > 2 && std::strcmp(argv[1], "--settle") == 0) {
        settleMs = std::atol(argv[2]);
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: wait-for-map [--settle MS] PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "wait-for-map: cannot open the display\n");
        return EXIT_FAILURE;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const Clock::time_point start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ConnectionNumber(display));
        ::execvp(argv[first], argv + first);
        std::fprintf(stderr, "wait-for-map: cannot start %s: %s\n", argv[first],
                     std::strerror(errno));
        ::_exit(127);
    }
    if (child < 0) {
        std::perror("wait-for-map: fork");
        return EXIT_FAILURE;
    }
    const bool mapped = waitForTopLevelMap(display, child, start + std::chrono::seconds(30));
    const std::chrono::duration<double, std::milli> took = Clock::now() - start;
    int result = EXIT_FAILURE;
    if (mapped) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
        std::printf("map_ms=%.1f rss_kib=%ld pss_kib=%ld\n", took.count(), smapsField(child, "Rss"),
                    smapsField(child, "Pss"));
        result = EXIT_SUCCESS;
    } else {
        std::fprintf(stderr, "wait-for-map: %s mapped no window\n", argv[first]);
    }
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    return result;
}
