#pragma once

#include <QRectF>
#include <QStringList>

// Where the stat window and its graphs go, in Qt's screen units (y grows
// downwards), and whether it should be out of sight.
namespace StatWindowLayout {

constexpr float graphSize = 64.0f;
constexpr float spacing = 2.0f;

// Graph slot n in the window's content, slot 0 at the left.
QRectF _graphRect(int n);

// The stat window's frame for nrView graphs, in the corner "WindowPosition"
// names (0 top left, 1 top right, 2 bottom left, anything else bottom right)
// of the work area: the screen less the room the desktop's panels and docks
// keep for themselves on any edge, so that a corner never covers a panel's
// tray or clock. Null when there are no graphs: the window has no size then
// and stays out of sight.
QRectF statWindowFrame(const QRectF& workArea, int nrView, int windowPosition);

// Where, in device pixels, a window of deviceSize goes so that it sits where
// frame puts it on a screen given in Qt's units (screen) and in device pixels
// (deviceScreen), `ratio` device pixels to the unit. An edge of the frame on
// an edge of the screen stays on that edge in device pixels, however the
// scaled sizes round; anything else is scaled from the screen's near edge.
QPoint devicePosition(const QRect& frame, const QRect& screen, const QRect& deviceScreen,
                      qreal ratio, const QSize& deviceSize);

} // namespace StatWindowLayout

// Whether the stat window should be out of sight: the pointer rests on it and
// "AutoHide" is on, or the active application is on the auto-hide list
// (exact, case-sensitive file names).
bool shouldHideStatWindow(bool autoHide, bool pointerInWindow, const QString& activeApplication,
                          const QStringList& autoHideApplications);
