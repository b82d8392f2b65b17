#include "windowsystem/x11/X11Connection.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QHash>
#include <QRect>
#include <QString>

#include <xcb/randr.h>

#include <cstdlib>
#include <cstring>

xcb_connection_t* qtX11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t x11RootWindow(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

xcb_atom_t x11Atom(xcb_connection_t* connection, const char* name) {
    static QHash<QByteArray, xcb_atom_t> known;
    const QByteArray key(name);
    if (const auto it = known.constFind(key); it != known.cend())
        return *it;
    auto* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    known.insert(key, atom);
    return atom;
}

QRect x11MonitorGeometry(xcb_connection_t* connection, const QString& name, bool alone) {
    QRect found;
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection, &xcb_randr_id);
    if (randr && randr->present) {
        auto* monitors = xcb_randr_get_monitors_reply(
            connection, xcb_randr_get_monitors(connection, x11RootWindow(connection), 1), nullptr);
        if (monitors) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors);
                 it.rem && found.isNull(); xcb_randr_monitor_info_next(&it)) {
                auto* atomName = xcb_get_atom_name_reply(
                    connection, xcb_get_atom_name(connection, it.data->name), nullptr);
                if (!atomName)
                    continue;
                const QString monitorName = QString::fromLatin1(
                    xcb_get_atom_name_name(atomName), xcb_get_atom_name_name_length(atomName));
                std::free(atomName);
                if (monitorName == name)
                    found = QRect(it.data->x, it.data->y, it.data->width, it.data->height);
            }
            std::free(monitors);
        }
    }
    if (found.isNull() && alone) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        found = QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
    }
    return found;
}

std::vector<xcb_atom_t> x11AtomList(xcb_connection_t* connection, xcb_window_t window,
                                    xcb_atom_t property) {
    auto* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, XCB_ATOM_ATOM, 0, 64),
        nullptr);
    if (!reply)
        return {};
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
    std::vector<xcb_atom_t> list(atoms, atoms + xcb_get_property_value_length(reply) /
                                                    int(sizeof(xcb_atom_t)));
    std::free(reply);
    return list;
}

void x11SendToRoot(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t type,
                   std::array<uint32_t, 5> data) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::memcpy(event.data.data32, data.data(), sizeof event.data.data32);
    xcb_send_event(connection, 0, x11RootWindow(connection),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}
