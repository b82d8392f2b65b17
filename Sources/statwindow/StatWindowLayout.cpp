#include "statwindow/StatWindowLayout.h"

#include <QRect>

#include <algorithm>

namespace StatWindowLayout {

namespace {

// How many slots fit in a length: a slot and the spacing after all but the last.
int slotsIn(double length) {
    return std::max(1, int((length + spacing) / double(graphSize + spacing)));
}

int rowsOf(int graphs, int columns) {
    return (graphs + columns - 1) / columns;
}

} // namespace

GraphGrid graphGrid(const QRectF& workArea, int otherGraphs, int processors) {
    GraphGrid grid;
    grid.columns = slotsIn(workArea.width());
    if (processors <= 0)
        return grid;
    const int maxRows = slotsIn(workArea.height() / 2);
    const int cpuSlots = std::max(1, grid.columns * maxRows - std::max(0, otherGraphs));
    grid.processorsPerGraph = (processors + cpuSlots - 1) / cpuSlots;
    grid.cpuGraphs = (processors + grid.processorsPerGraph - 1) / grid.processorsPerGraph;
    return grid;
}

QRectF _graphRect(int n, int columns) {
    columns = std::max(1, columns);
    return QRectF(double((graphSize + spacing) * float(n % columns)),
                  double((graphSize + spacing) * float(n / columns)), graphSize, graphSize);
}

QRectF statWindowFrame(const QRectF& workArea, int nrView, int columns, int windowPosition) {
    if (nrView <= 0)
        return {};
    columns = std::max(1, columns);
    const float w = (graphSize + spacing) * float(std::min(nrView, columns)) - spacing;
    const float h = (graphSize + spacing) * float(rowsOf(nrView, columns)) - spacing;
    const bool top = windowPosition == 0 || windowPosition == 1;
    const bool left = windowPosition == 0 || windowPosition == 2;
    const float y = top ? float(workArea.top()) : float(workArea.top() + workArea.height()) - h;
    const float x = left ? float(workArea.left()) : float(workArea.left() + workArea.width()) - w;
    return QRectF(x, y, w, h);
}

QPoint devicePosition(const QRect& frame, const QRect& screen, const QRect& deviceScreen,
                      qreal ratio, const QSize& deviceSize) {
    auto axis = [ratio](int start, int end, int screenStart, int screenEnd, int deviceStart,
                        int deviceEnd, int deviceLength) {
        if (start <= screenStart)
            return deviceStart;
        if (end >= screenEnd)
            return deviceEnd - deviceLength;
        return deviceStart + qRound((start - screenStart) * ratio);
    };
    // QRect's right() and bottom() are inclusive; the ends here are not.
    return QPoint(axis(frame.left(), frame.left() + frame.width(), screen.left(),
                       screen.left() + screen.width(), deviceScreen.left(),
                       deviceScreen.left() + deviceScreen.width(), deviceSize.width()),
                  axis(frame.top(), frame.top() + frame.height(), screen.top(),
                       screen.top() + screen.height(), deviceScreen.top(),
                       deviceScreen.top() + deviceScreen.height(), deviceSize.height()));
}

} // namespace StatWindowLayout

bool shouldHideStatWindow(bool autoHide, bool pointerInWindow, const QString& activeApplication,
                          const QStringList& autoHideApplications) {
    if (autoHide && pointerInWindow)
        return true;
    return !activeApplication.isEmpty() &&
           autoHideApplications.contains(activeApplication, Qt::CaseSensitive);
}
