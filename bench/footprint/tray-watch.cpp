// tray-watch: the X side of the footprint benchmark.
//   tray-watch launch CMD [ARGS...]   starts CMD, prints its pid and the milliseconds from exec
//                                     to its tray icon being docked and mapped, then leaves it
//                                     running.
//   tray-watch cycles WINDOW COUNT    clicks the tray icon WINDOW COUNT times to open its menu and
//                                     again to close it, waiting each time for a top-level window
//                                     to be mapped and unmapped.
//   tray-watch click WINDOW           clicks the tray icon WINDOW once.
//   tray-watch close TEXT             asks every mapped top-level window whose title contains
//                                     TEXT to close, as a title bar's close button does.
// Clicks go through XTest, so they reach the program as a user's would (pointer grabs included).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <string>
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

bool iconCentre(Display* d, Window icon, int* x, int* y) {
    Window child;
    XWindowAttributes a;
    return XGetWindowAttributes(d, icon, &a) &&
           XTranslateCoordinates(d, icon, DefaultRootWindow(d), a.width / 2, a.height / 2, x, y,
                                 &child);
}

int clickOnce(Display* d, Window icon) {
    int x = 0, y = 0;
    if (!iconCentre(d, icon, &x, &y)) {
        std::fprintf(stderr, "tray-watch: icon window %lu is gone\n", icon);
        return 1;
    }
    clickAt(d, x, y);
    XSync(d, False);
    return 0;
}

// The UTF-8 title (_NET_WM_NAME) of a window; empty when it has none.
std::string titleOf(Display* d, Window w) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(d, "UTF8_STRING", False), &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), count);
    }
    if (data)
        XFree(data);
    return title;
}

int closeWindows(Display* d, const char* text) {
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
    int closed = 0;
    for (unsigned int i = 0; i < count; ++i) {
        if (!viewable(d, children[i]) || titleOf(d, children[i]).find(text) == std::string::npos)
            continue;
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = children[i];
        e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, children[i], False, NoEventMask, &e);
        ++closed;
    }
    if (children)
        XFree(children);
    XSync(d, False);
    std::printf("closed %d\n", closed);
    return closed ? 0 : 1;
}

} // namespace

// A window may be gone before the request that watches it arrives (programs create and drop
// short-lived windows while starting): nothing to watch then. Xlib's own handler would exit.
int ignoreVanishedWindows(Display* d, XErrorEvent* e) {
    if (e->error_code == BadWindow)
        return 0;
    char text[256];
    XGetErrorText(d, e->error_code, text, sizeof text);
    std::fprintf(stderr, "tray-watch: X error: %s\n", text);
    return 0;
}

int main(int argc, char** argv) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "tray-watch: no X display\n");
        return 2;
    }
    XSetErrorHandler(ignoreVanishedWindows);
    if (argc >= 3 && !std::strcmp(argv[1], "launch"))
        return launch(d, argv + 2);
    if (argc >= 4 && !std::strcmp(argv[1], "cycles")) {
        const int settleMs = argc >= 5 ? std::atoi(argv[4]) : 100;
        return cycles(d, Window(std::strtoul(argv[2], nullptr, 0)), std::atoi(argv[3]), settleMs);
    }
    if (argc == 3 && !std::strcmp(argv[1], "click"))
        return clickOnce(d, Window(std::strtoul(argv[2], nullptr, 0)));
    if (argc == 3 && !std::strcmp(argv[1], "close"))
        return closeWindows(d, argv[2]);
    std::fprintf(stderr, "usage: tray-watch launch CMD [ARGS...] | cycles WINDOW COUNT "
                         "[SETTLE_MS] | click WINDOW | close TEXT\n");
    return 2;
}
