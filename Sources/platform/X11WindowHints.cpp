#include "X11WindowHints.h"

#include "X11Connection.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPoint>
#include <QWidget>

#include <xcb/shape.h>
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

void enforceX11Position(QWidget* widget, const QPoint& topLeft) {
    xcb_connection_t* c = qtX11Connection();
    if (!c || !widget->isVisible())
        return;
    const xcb_window_t window = xcb_window_t(widget->winId());
    const xcb_window_t root = x11RootWindow(c);
    auto reply = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr);
    if (!reply)
        return;
    const QPoint actual(reply->dst_x, reply->dst_y);
    free(reply);
    if (actual == topLeft)
        return;
    const uint32_t position[] = {uint32_t(topLeft.x()), uint32_t(topLeft.y())};
    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, position);
    xcb_flush(c);
}

X11FramePassThrough::X11FramePassThrough(QWidget* window) : window_(window) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11FramePassThrough::~X11FramePassThrough() {
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11FramePassThrough::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_REPARENT_NOTIFY)
        return false;
    auto* reparent = reinterpret_cast<xcb_reparent_notify_event_t*>(event);
    if (reparent->window != xcb_window_t(window_->internalWinId()))
        return false;
    xcb_connection_t* c = qtX11Connection();
    if (!c)
        return false;
    const xcb_window_t root = x11RootWindow(c);
    if (reparent->parent != root) {
        xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                             reparent->parent, 0, 0, 0, nullptr);
        xcb_flush(c);
    }
    return false;
}
