#pragma once

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <vector>

// Small shared pieces for talking to X11 over Qt's own connection.

// Qt's xcb connection, or null on other platforms (the offscreen platform
// answers for X11 too, but without a connection).
xcb_connection_t* qtX11Connection();

xcb_window_t x11RootWindow(xcb_connection_t* connection);

// The atom of a name. Atoms are the server's for its lifetime, so each name
// costs one round trip per process; XCB_ATOM_NONE when the server does not answer.
xcb_atom_t x11Atom(xcb_connection_t* connection, const char* name);

// The atoms a window's property of type ATOM lists (_NET_WM_STATE,
// WM_PROTOCOLS); empty when it has none. One round trip.
std::vector<xcb_atom_t> x11AtomList(xcb_connection_t* connection, xcb_window_t window,
                                    xcb_atom_t property);

// Sends a client message about window to the root window, where the window
// manager listens (EWMH requests such as _NET_WM_STATE).
void x11SendToRoot(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t type,
                   std::array<uint32_t, 5> data);

class QRect;
class QString;

// The rectangle of the monitor of that name (RandR's name of an output, as
// QScreen::name() gives it) in device pixels, or of the whole root window when
// alone is true and RandR does not know the name; null otherwise.
QRect x11MonitorGeometry(xcb_connection_t* connection, const QString& name, bool alone);
