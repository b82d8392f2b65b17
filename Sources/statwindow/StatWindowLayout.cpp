#include "statwindow/StatWindowLayout.h"

#include <QRect>

namespace StatWindowLayout {

QRectF _graphRect(int n) {
    return QRectF(double((graphSize + spacing) * float(n)), 0.0, graphSize, graphSize);
}

QRectF statWindowFrame(const QRectF& workArea, int nrView, int windowPosition) {
    if (nrView <= 0)
        return {};
    const float w = (graphSize + spacing) * float(nrView) - spacing;
    const float h = graphSize;
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
