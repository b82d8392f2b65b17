#include "X11WindowHints.h"

#include "X11Connection.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void sendToRoot(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
                std::array<uint32_t, 5> data) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::memcpy(event.data.data32, data.data(), sizeof event.data.data32);
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

// Qt offers WM_TAKE_FOCUS on every window; a window that never takes the focus
// must not offer it.
void dropTakeFocus(xcb_connection_t* c, xcb_window_t window) {
    const xcb_atom_t protocols = x11Atom(c, "WM_PROTOCOLS");
    const xcb_atom_t takeFocus = x11Atom(c, "WM_TAKE_FOCUS");
    auto* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, protocols, XCB_ATOM_ATOM, 0, 32), nullptr);
    if (!reply)
        return;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t));
    std::vector<xcb_atom_t> kept;
    for (int i = 0; i < count; ++i)
        if (atoms[i] != takeFocus)
            kept.push_back(atoms[i]);
    if (int(kept.size()) != count)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, protocols, XCB_ATOM_ATOM, 32,
                            uint32_t(kept.size()), kept.data());
    std::free(reply);
}

} // namespace

void applyFloatingWindowHints(QWidget* widget, bool mapped) {
    xcb_connection_t* c = qtX11Connection();
    if (!c)
        return;
    const xcb_window_t window = xcb_window_t(widget->winId());
    const xcb_window_t root = x11RootWindow(c);

    const xcb_atom_t wmState = x11Atom(c, "_NET_WM_STATE");
    const xcb_atom_t wmDesktop = x11Atom(c, "_NET_WM_DESKTOP");
    const std::vector<xcb_atom_t> states = {
        x11Atom(c, "_NET_WM_STATE_STICKY"), x11Atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
        x11Atom(c, "_NET_WM_STATE_SKIP_PAGER"), x11Atom(c, "_NET_WM_STATE_ABOVE")};
    const uint32_t allDesktops = 0xFFFFFFFF;

    if (!mapped) {
        dropTakeFocus(c, window);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, wmState, XCB_ATOM_ATOM, 32,
                            uint32_t(states.size()), states.data());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, wmDesktop, XCB_ATOM_CARDINAL, 32, 1,
                            &allDesktops);
    } else {
        constexpr uint32_t add = 1, sourceIsApplication = 1;
        for (std::size_t i = 0; i < states.size(); i += 2) {
            const uint32_t second = i + 1 < states.size() ? states[i + 1] : 0;
            sendToRoot(c, root, window, wmState, {add, states[i], second, sourceIsApplication, 0});
        }
        sendToRoot(c, root, window, wmDesktop, {allDesktops, sourceIsApplication, 0, 0, 0});
    }
    xcb_flush(c);
}

