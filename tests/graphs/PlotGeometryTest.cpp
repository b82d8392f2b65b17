#include "graphs/PlotGeometry.h"

#include <gtest/gtest.h>

namespace {

// scale decades of bytes a second fill half the plot; 0 B/s draws nothing.
TEST(PlotGeometry, NetBarsAreLogarithmicFromZero) {
    const struct {
        float bytesPerSecond, scale;
        double length;
    } cases[] = {{0, 6, 0}, {9, 6, 51.0 / 12}, {999999, 6, 25.5}, {99, 2, 25.5}, {1e9f, 6, 38.25}};
    for (const auto& c : cases)
        EXPECT_NEAR(PlotGeometry::netBarLength(c.bytesPerSecond, c.scale, 51), c.length, 1e-4)
            << c.bytesPerSecond << " B/s at scale " << c.scale;
}

} // namespace
