#include "WindowManager.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <xcb/xcb.h>

namespace {

// libxcb is already in the process (Qt's platform plugin); the tests do not link it.
template <typename F> F symbol(void* library, const char* name) {
    return reinterpret_cast<F>(dlsym(library, name));
}

xcb_atom_t atom(void* library, xcb_connection_t* connection, const char* name) {
    const auto intern = symbol<decltype(&xcb_intern_atom)>(library, "xcb_intern_atom");
    const auto reply = symbol<decltype(&xcb_intern_atom_reply)>(library, "xcb_intern_atom_reply");
    if (!intern || !reply)
        return XCB_ATOM_NONE;
    xcb_intern_atom_reply_t* answer =
        reply(connection, intern(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = answer ? answer->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(answer);
    return value;
}

} // namespace

bool WindowManager::requestClose(QWidget* window) {
    return window && window->isWindow() && requestClose(quintptr(window->winId()));
}

bool WindowManager::requestClose(quintptr nativeWindow) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !nativeWindow)
        return false;
    void* library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (!library)
        return false;
    xcb_connection_t* connection = x11->connection();
    const auto send = symbol<decltype(&xcb_send_event)>(library, "xcb_send_event");
    const auto flush = symbol<decltype(&xcb_flush)>(library, "xcb_flush");
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(nativeWindow);
    event.type = atom(library, connection, "WM_PROTOCOLS");
    event.data.data32[0] = atom(library, connection, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    const bool sent =
        send && flush && event.type != XCB_ATOM_NONE && event.data.data32[0] != XCB_ATOM_NONE;
    if (sent) {
        send(connection, 0, event.window, XCB_EVENT_MASK_NO_EVENT,
             reinterpret_cast<const char*>(&event));
        flush(connection);
    }
    dlclose(library);
    return sent;
}
