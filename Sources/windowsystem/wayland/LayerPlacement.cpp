#include "windowsystem/wayland/LayerPlacement.h"

#include <algorithm>
#include <cmath>

namespace LayerPlacement {

std::uint32_t anchorFor(const QRect& frame, const QRect& screen) {
    // Compared in doubled coordinates so that centres need no rounding.
    const QPoint frameCentre2 = frame.topLeft() + frame.bottomRight() + QPoint(1, 1);
    const QPoint screenCentre2 = screen.topLeft() + screen.bottomRight() + QPoint(1, 1);
    const std::uint32_t horizontal = frameCentre2.x() < screenCentre2.x() ? Left : Right;
    const std::uint32_t vertical = frameCentre2.y() < screenCentre2.y() ? Top : Bottom;
    return horizontal | vertical;
}

QList<QRect> sensingBand(const QSize& size, std::uint32_t anchor, int width) {
    const int w = size.width(), h = size.height();
    width = std::min({width, w, h});
    QList<QRect> band;
    if (!(anchor & Left))
        band << QRect(0, 0, width, h);
    if (!(anchor & Right))
        band << QRect(w - width, 0, width, h);
    if (!(anchor & Top))
        band << QRect(0, 0, w, width);
    if (!(anchor & Bottom))
        band << QRect(0, h - width, w, width);
    return band;
}

Buffer bufferFor(const QSize& logical, int integerScale, int fractionalScale120, bool canViewport) {
    Buffer buffer;
    if (fractionalScale120 > 0 && canViewport) {
        // Rounded half up, as compositors size the surface's pixels.
        auto scaled = [fractionalScale120](int length) {
            return int(std::floor(double(length) * fractionalScale120 / 120.0 + 0.5));
        };
        buffer.pixels = QSize(scaled(logical.width()), scaled(logical.height()));
        buffer.viewport = true;
        return buffer;
    }
    buffer.bufferScale = std::max(1, integerScale);
    buffer.pixels = logical * buffer.bufferScale;
    return buffer;
}

} // namespace LayerPlacement
