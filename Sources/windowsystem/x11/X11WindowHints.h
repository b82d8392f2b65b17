#pragma once

class QWidget;

// Tells the X11 window manager that the window belongs to no workspace in
// particular and to no taskbar or pager: _NET_WM_DESKTOP 0xFFFFFFFF and
// _NET_WM_STATE STICKY, SKIP_TASKBAR, SKIP_PAGER and ABOVE. Before the window
// is mapped the properties are written directly (Qt merges them into its own
// when it maps the window); once mapped the window manager is asked with client
// messages. Before the map it also takes WM_TAKE_FOCUS out of the window's
// WM_PROTOCOLS: the window never takes the focus, and should not offer to.
// Does nothing on other platforms.
void applyFloatingWindowHints(QWidget* window, bool mapped);
