// tray-watch: the X side of the footprint benchmark.
//   tray-watch launch CMD [ARGS...]   starts CMD, prints its pid and the milliseconds from exec
//                                     to its tray icon being docked and mapped, then leaves it
//                                     running.
//   tray-watch cycles WINDOW COUNT    clicks the tray icon WINDOW COUNT times to open its menu and
//                                     again to close it, waiting each time for a top-level window
//                                     to be mapped and unmapped.
// Clicks go through XTest, so they reach the program as a user's would (pointer grabs included).
#include <X11/Xlib.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <unistd.h>

// libXtst ships without headers on a minimal system; these two calls are all we need.
extern "C" int XTestFakeButtonEvent(Display*, unsigned int, Bool, unsigned long);
extern "C" int XTestFakeMotionEvent(Display*, int, int, int, unsigned long);

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The next event, or nothing once `deadline` has passed.
std::optional<XEvent> nextEvent(Display* d, Clock::time_point deadline) {
    while (!XPending(d)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return std::nullopt;
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        poll(&p, 1, int(left));
    }
    XEvent e;
    XNextEvent(d, &e);
    return e;
}

bool viewable(Display* d, Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

int launch(Display* d, char** argv) {
    const Window root = DefaultRootWindow(d);
    XSelectInput(d, root, SubstructureNotifyMask);
    XSync(d, False);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(ConnectionNumber(d));
        // Our output is read to its end by the caller: the program must not hold it open.
        dup2(STDERR_FILENO, STDOUT_FILENO);
        execvp(argv[0], argv);
        std::perror("tray-watch: exec");
        _exit(127);
    }
    std::printf("pid %d\n", int(pid));
    std::fflush(stdout);
    // The tray host takes the icon from the root window into its own (a reparent away from the
    // root), then maps it.
    Window icon = 0;
    const char* limit = std::getenv("TRAY_WATCH_TIMEOUT_S"); // longer under a profiler
    const auto deadline = start + std::chrono::seconds(limit ? std::atoi(limit) : 30);
    while (auto e = nextEvent(d, deadline)) {
        if (e->type == CreateNotify && e->xcreatewindow.parent == root) {
            XSelectInput(d, e->xcreatewindow.window, StructureNotifyMask);
        } else if (e->type == ReparentNotify && e->xreparent.parent != root && !icon) {
            icon = e->xreparent.window;
            XSelectInput(d, icon, StructureNotifyMask);
            if (viewable(d, icon))
                break;
        } else if (e->type == MapNotify && icon && e->xmap.window == icon) {
            break;
        }
        if (icon && viewable(d, icon))
            break;
    }
    if (!icon || !viewable(d, icon)) {
        std::fprintf(stderr, "tray-watch: no tray icon in time\n");
        return 1;
    }
    std::printf("icon_ms %.1f\nicon_window %lu\n", msSince(start), icon);
    return 0;
}

void clickAt(Display* d, int x, int y) {
    XTestFakeMotionEvent(d, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XFlush(d);
}

// Waits for a top-level window to be mapped (open) or unmapped/destroyed (close).
bool waitFor(Display* d, bool open, Window* which) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (auto e = nextEvent(d, deadline)) {
        if (open && e->type == MapNotify && !*which) {
            *which = e->xmap.window;
            return true;
        }
        if (!open && ((e->type == UnmapNotify && e->xunmap.window == *which) ||
                      (e->type == DestroyNotify && e->xdestroywindow.window == *which)))
            return true;
    }
    return false;
}

// Lets the program finish what an open menu starts (a fetch, a repaint) before closing it.
void settle(Display* d, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (nextEvent(d, deadline)) {
    }
}

int cycles(Display* d, Window icon, int count, int settleMs) {
    const Window root = DefaultRootWindow(d);
    XSelectInput(d, root, SubstructureNotifyMask);
    Window child;
    int x = 0, y = 0;
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, icon, &a) ||
        !XTranslateCoordinates(d, icon, root, a.width / 2, a.height / 2, &x, &y, &child)) {
        std::fprintf(stderr, "tray-watch: icon window %lu is gone\n", icon);
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        Window menu = 0;
        clickAt(d, x, y);
        if (!waitFor(d, true, &menu)) {
            std::fprintf(stderr, "tray-watch: cycle %d: no menu opened\n", i);
            return 1;
        }
        settle(d, settleMs);
        clickAt(d, x, y);
        if (!waitFor(d, false, &menu)) {
            std::fprintf(stderr, "tray-watch: cycle %d: the menu did not close\n", i);
            return 1;
        }
        settle(d, settleMs);
    }
    std::printf("cycles %d\n", count);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "tray-watch: no X display\n");
        return 2;
    }
    if (argc >= 3 && !std::strcmp(argv[1], "launch"))
        return launch(d, argv + 2);
    if (argc >= 4 && !std::strcmp(argv[1], "cycles")) {
        const int settleMs = argc >= 5 ? std::atoi(argv[4]) : 100;
        return cycles(d, Window(std::strtoul(argv[2], nullptr, 0)), std::atoi(argv[3]), settleMs);
    }
    std::fprintf(stderr,
                 "usage: tray-watch launch CMD [ARGS...] | cycles WINDOW COUNT [SETTLE_MS]\n");
    return 2;
}
