#include "windowsystem/wayland/LayerPlacement.h"

#include <gtest/gtest.h>

#include <optional>

using namespace LayerPlacement;

TEST(LayerPlacement, AnchorsToTheCornerTheFrameIsIn) {
    const QRect screen(0, 0, 1280, 800);
    const struct {
        QRect frame;
        std::uint32_t anchor;
    } cases[] = {
        {{0, 0, 196, 64}, Top | Left},         {{1084, 0, 196, 64}, Top | Right},
        {{1084, 24, 196, 64}, Top | Right}, // below a top panel
        {{0, 736, 196, 64}, Bottom | Left},    {{1084, 736, 196, 64}, Bottom | Right},
        {{0, 0, 1280, 64}, Top | Right},       // wider than half the screen: centre decides
        {{542, 368, 196, 64}, Bottom | Right}, // centred exactly: right and bottom
        {{541, 367, 196, 64}, Top | Left},     // a unit less: left and top
    };
    for (const auto& c : cases)
        EXPECT_EQ(anchorFor(c.frame, screen), c.anchor) << c.frame.x() << "," << c.frame.y();
    // A screen that does not start at the origin (a second output).
    EXPECT_EQ(anchorFor({1280, 736, 196, 64}, {1280, 0, 1920, 800}), Bottom | Left);
}

// The whole surface takes the pointer, less a hole of 12 units on each side
// of a resting pointer, clipped to the surface; the parts never overlap.
TEST(LayerPlacement, SensesThePointerEverywhereButAroundWhereItRests) {
    const QSize size(196, 64);
    const struct {
        std::optional<QPoint> resting;
        QList<QRect> parts;
    } cases[] = {
        {std::nullopt, {QRect(0, 0, 196, 64)}},
        {QPoint(98, 32),
         {QRect(0, 0, 196, 20), QRect(0, 45, 196, 19), QRect(0, 20, 86, 25),
          QRect(111, 20, 85, 25)}},
        {QPoint(0, 0), {QRect(0, 13, 196, 51), QRect(13, 0, 183, 13)}},
        {QPoint(500, 500), {QRect(0, 0, 196, 64)}}, // off the surface: no hole
    };
    for (const auto& c : cases) {
        const QList<QRect> parts = sensingRegion(size, c.resting, 12);
        EXPECT_EQ(parts, c.parts) << c.resting.value_or(QPoint(-1, -1)).x();
        for (const QRect& part : parts)
            EXPECT_FALSE(c.resting && part.contains(*c.resting));
    }
    EXPECT_TRUE(sensingRegion(QSize(0, 64), std::nullopt, 12).isEmpty());
}

TEST(LayerPlacement, BufferFillsTheSurfaceAtTheOutputsScale) {
    const QSize logical(196, 64);
    const struct {
        int integer, fractional120;
        bool viewport;
        QSize pixels;
        int bufferScale;
        bool usesViewport;
    } cases[] = {
        {1, 0, false, {196, 64}, 1, false},    {2, 0, false, {392, 128}, 2, false},
        {0, 0, false, {196, 64}, 1, false},    // a scale of 0 is taken as 1
        {2, 180, true, {294, 96}, 1, true},    // 1.5: the fractional scale wins
        {1, 150, true, {245, 80}, 1, true},    // 1.25: 196 × 1.25 = 245
        {1, 126, true, {206, 67}, 1, true},    // 1.05: 205.8 and 67.2 round to nearest
        {2, 180, false, {392, 128}, 2, false}, // no viewport: the integer scale
        {2, 0, true, {392, 128}, 2, false},    // no fractional scale told yet
    };
    for (const auto& c : cases) {
        const Buffer buffer = bufferFor(logical, c.integer, c.fractional120, c.viewport);
        EXPECT_EQ(buffer.pixels, c.pixels) << c.integer << " " << c.fractional120;
        EXPECT_EQ(buffer.bufferScale, c.bufferScale);
        EXPECT_EQ(buffer.viewport, c.usesViewport);
    }
}
