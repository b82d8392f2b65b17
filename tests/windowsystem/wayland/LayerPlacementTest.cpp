#include "windowsystem/wayland/LayerPlacement.h"

#include <gtest/gtest.h>

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

TEST(LayerPlacement, SensesThePointerOnlyAlongTheEdgesFacingTheOutputsInside) {
    const QSize size(196, 64);
    const struct {
        std::uint32_t anchor;
        QList<QRect> band;
    } cases[] = {
        {Top | Right, {QRect(0, 0, 4, 64), QRect(0, 60, 196, 4)}},
        {Top | Left, {QRect(192, 0, 4, 64), QRect(0, 60, 196, 4)}},
        {Bottom | Left, {QRect(192, 0, 4, 64), QRect(0, 0, 196, 4)}},
        {Bottom | Right, {QRect(0, 0, 4, 64), QRect(0, 0, 196, 4)}},
    };
    for (const auto& c : cases) {
        const QList<QRect> band = sensingBand(size, c.anchor, 4);
        EXPECT_EQ(band, c.band) << c.anchor;
        // The middle, where a pointer rests, never takes a click.
        for (const QRect& part : band)
            EXPECT_FALSE(part.contains(QPoint(98, 32)));
    }
    EXPECT_EQ(sensingBand(QSize(3, 64), Top | Right, 4).first(), QRect(0, 0, 3, 64))
        << "never wider than the surface";
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
