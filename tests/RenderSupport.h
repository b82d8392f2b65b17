#pragma once

#include <QColor>
#include <QImage>

// Reads pixels of a graph image in its own units: x from the left, yUp the
// lower edge of the pixel row counted from the bottom.
inline QColor pixelUp(const QImage& image, int x, int yUp) {
    return image.pixelColor(x, image.height() - 1 - yUp);
}

inline bool isClear(const QImage& image, int x, int yUp) {
    return pixelUp(image, x, yUp).alpha() == 0;
}
