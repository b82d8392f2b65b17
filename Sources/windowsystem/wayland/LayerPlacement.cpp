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

QList<QRect> sensingRegion(const QSize& size, const std::optional<QPoint>& resting, int hole) {
    const QRect whole(QPoint(0, 0), size);
    if (whole.isEmpty())
        return {};
    if (!resting)
        return {whole};
    const QRect around =
        QRect(*resting - QPoint(hole, hole), QSize(2 * hole + 1, 2 * hole + 1)).intersected(whole);
    if (around.isEmpty())
        return {whole};
    // Above the hole, below it, and the two sides of its own rows.
    QList<QRect> parts = {
        QRect(0, 0, whole.width(), around.top()),
        QRect(0, around.bottom() + 1, whole.width(), whole.height() - around.bottom() - 1),
        QRect(0, around.top(), around.left(), around.height()),
        QRect(around.right() + 1, around.top(), whole.width() - around.right() - 1,
              around.height())};
    parts.removeIf([](const QRect& part) { return part.isEmpty(); });
    return parts;
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
