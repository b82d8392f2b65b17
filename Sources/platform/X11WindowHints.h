#pragma once

#include <QAbstractNativeEventFilter>

class QWidget;

// Tells the X11 window manager that the window belongs to no workspace in
// particular and to no taskbar or pager: _NET_WM_DESKTOP 0xFFFFFFFF and
// _NET_WM_STATE STICKY, SKIP_TASKBAR, SKIP_PAGER and ABOVE. Before the window
// is mapped the properties are written directly (Qt merges them into its own
// when it maps the window); once mapped the window manager is asked with client
// messages. Does nothing on other platforms.
void applyFloatingWindowHints(QWidget* window, bool mapped);

class QPoint;

// Makes sure the X server has the window's top-left corner where Qt was told
// to put it. Qt keeps the last position a window manager reported, and some
// (openbox, after a workspace switch) report a frame-relative one; Qt then
// skips a move to the position it wrongly believes the window holds. One
// round trip; nothing happens when the window is where it should be.
void enforceX11Position(QWidget* window, const QPoint& topLeft);

// Lets clicks through the window manager's frame around a click-through window.
// Qt gives the window itself an empty input shape, but a reparenting window
// manager such as openbox puts a frame of the same size around it and does not
// pass that shape on, so the frame would catch the clicks. This gives each
// frame the window is put into an empty input shape too.
class X11FramePassThrough : public QAbstractNativeEventFilter {
public:
    explicit X11FramePassThrough(QWidget* window);
    ~X11FramePassThrough() override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    QWidget* window_;
};
