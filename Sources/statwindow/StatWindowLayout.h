#pragma once

#include <QRectF>
#include <QStringList>

// Where the stat window and its graphs go, in Qt's screen units (y grows
// downwards), and whether it should be out of sight.
namespace StatWindowLayout {

constexpr float graphSize = 64.0f;
constexpr float spacing = 2.0f;

// How the graphs fill the window: rows of at most `columns` slots, as many
// as the work area is wide, and as many rows as the graphs need, up to half
// the work area's height so that the window never takes most of the screen.
// Where even that leaves fewer slots than processors (hundreds of them on a
// small screen), each CPU graph shows the load of processorsPerGraph
// processors in a row, so that every processor is still seen.
struct GraphGrid {
    int columns = 1;
    int processorsPerGraph = 1;
    int cpuGraphs = 0;
};
GraphGrid graphGrid(const QRectF& workArea, int otherGraphs, int processors);

// Graph slot n in the window's content: slot 0 at the top left, a row of
// `columns` slots, then the next row below.
QRectF _graphRect(int n, int columns);

// The stat window's frame for nrView graphs in rows of `columns`, in the
// corner "WindowPosition" names (0 top left, 1 top right, 2 bottom left,
// anything else bottom right) of the work area: the screen less the room the
// desktop's panels and docks keep for themselves on any edge, so that a
// corner never covers a panel's tray or clock. Null when there are no graphs:
// the window has no size then and stays out of sight.
QRectF statWindowFrame(const QRectF& workArea, int nrView, int columns, int windowPosition);

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
