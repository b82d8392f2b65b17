#include "windowsystem/x11/X11WindowHints.h"

#include "windowsystem/x11/X11Connection.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Qt offers WM_TAKE_FOCUS on every window; a window that never takes the focus
// must not offer it.
void dropTakeFocus(xcb_connection_t* c, xcb_window_t window) {
    const xcb_atom_t protocols = x11Atom(c, "WM_PROTOCOLS");
    std::vector<xcb_atom_t> offered = x11AtomList(c, window, protocols);
    if (std::erase(offered, x11Atom(c, "WM_TAKE_FOCUS")) > 0)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, protocols, XCB_ATOM_ATOM, 32,
                            uint32_t(offered.size()), offered.data());
}

} // namespace

void applyFloatingWindowHints(QWidget* widget, bool mapped) {
    xcb_connection_t* c = qtX11Connection();
    if (!c)
        return;
    const xcb_window_t window = xcb_window_t(widget->winId());

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
            x11SendToRoot(c, window, wmState, {add, states[i], second, sourceIsApplication, 0});
        }
        x11SendToRoot(c, window, wmDesktop, {allDesktops, sourceIsApplication, 0, 0, 0});
    }
    xcb_flush(c);
}
