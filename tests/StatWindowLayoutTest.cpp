#include "FadeCurve.h"
#include "StatWindowLayout.h"

#include <gtest/gtest.h>

namespace {

using namespace StatWindowLayout;

TEST(GraphRect, SlotsAre66Apart) {
    EXPECT_EQ(_graphRect(0), QRectF(0, 0, 64, 64));
    EXPECT_EQ(_graphRect(1), QRectF(66, 0, 64, 64));
    EXPECT_EQ(_graphRect(2), QRectF(132, 0, 64, 64));
}

TEST(StatWindowFrame, WorkedExampleTopRight) {
    // Two processors and the network graph on 1024 × 768 under a 22-unit panel.
    EXPECT_EQ(statWindowFrame(QRectF(0, 0, 1024, 768), 22, 3, 1), QRectF(828, 682, 196, 64));
}

TEST(StatWindowFrame, EveryCorner) {
    const QRectF screen(0, 0, 1024, 768);
    EXPECT_EQ(statWindowFrame(screen, 22, 5, 0), QRectF(0, 682, 328, 64));
    EXPECT_EQ(statWindowFrame(screen, 22, 5, 2), QRectF(0, 0, 328, 64));
    EXPECT_EQ(statWindowFrame(screen, 22, 5, 3), QRectF(696, 0, 328, 64));
    for (int other : {4, 7, -1})
        EXPECT_EQ(statWindowFrame(screen, 22, 5, other), statWindowFrame(screen, 22, 5, 3));
    // A screen that is not at the origin.
    EXPECT_EQ(statWindowFrame(QRectF(1024, 100, 800, 600), 0, 1, 1), QRectF(1760, 636, 64, 64));
}

TEST(StatWindowFrame, NoGraphsMeansNoFrameNeverANegativeSize) {
    EXPECT_TRUE(statWindowFrame(QRectF(0, 0, 1024, 768), 0, 0, 1).isNull());
    EXPECT_EQ(statWindowFrame(QRectF(0, 0, 1024, 768), 0, 1, 2).size(), QSizeF(64, 64));
}

TEST(Flipped, ConvertsBetweenYUpAndYDown) {
    // Top-right frame of the worked example in Qt's coordinates: 22 below the top.
    EXPECT_EQ(flipped(QRectF(828, 682, 196, 64), 768), QRectF(828, 22, 196, 64));
    EXPECT_EQ(flipped(flipped(QRectF(5, 6, 7, 8), 100), 100), QRectF(5, 6, 7, 8));
}

TEST(CenteredFrame, ClampsLowEdgesFirst) {
    const QRectF screen(0, 0, 1024, 768);
    EXPECT_EQ(centeredFrame(QRectF(0, 0, 200, 100), QPointF(512, 384), screen),
              QRectF(412, 334, 200, 100));
    EXPECT_EQ(centeredFrame(QRectF(0, 0, 200, 100), QPointF(0, 0), screen),
              QRectF(0, 0, 200, 100));
    // Wider than the screen: right edge on the screen's, origin left of it.
    EXPECT_EQ(centeredFrame(QRectF(0, 0, 1100, 100), QPointF(512, 384), screen),
              QRectF(-76, 334, 1100, 100));
    // A point on another screen is pulled into this one.
    EXPECT_EQ(centeredFrame(QRectF(0, 0, 200, 100), QPointF(1500, 900), screen),
              QRectF(824, 668, 200, 100));
}

// 1280 × 800 device pixels at each ratio; Qt's screen is the device one
// divided by the ratio and rounded (1.1: 1164 × 727 units).
TEST(DevicePosition, EdgesStayOnTheScreensEdgesAtEveryRatio) {
    struct Case {
        qreal ratio;
        QRect screen;     // in units
        QRect frame;      // in units
        QSize deviceSize; // the window as the X server has it
        QPoint expected;
    };
    const QRect device(0, 0, 1280, 800);
    for (const Case& c : {
             Case{1, QRect(0, 0, 1280, 800), QRect(1084, 0, 196, 64), {196, 64}, {1084, 0}},
             Case{2, QRect(0, 0, 640, 400), QRect(444, 0, 196, 64), {392, 128}, {888, 0}},
             Case{2, QRect(0, 0, 640, 400), QRect(444, 336, 196, 64), {392, 128}, {888, 672}},
             // 196 units are 215.6 pixels; Qt made 216: the right edge still
             // lands on 1280, the bottom on 800.
             Case{1.1, QRect(0, 0, 1164, 727), QRect(968, 663, 196, 64), {216, 70}, {1064, 730}},
             Case{1.5, QRect(0, 0, 853, 533), QRect(0, 0, 196, 64), {294, 96}, {0, 0}},
             // Below a 24-pixel panel (16 units at 1.5): scaled from the top.
             Case{1.5, QRect(0, 0, 853, 533), QRect(657, 16, 196, 64), {294, 96}, {986, 24}},
         }) {
        EXPECT_EQ(devicePosition(c.frame, c.screen, device, c.ratio, c.deviceSize), c.expected)
            << "ratio " << c.ratio << ", frame at " << c.frame.x() << "," << c.frame.y();
    }
    // A second screen to the right of the first.
    EXPECT_EQ(devicePosition(QRect(1856, 0, 64, 64), QRect(1280, 0, 640, 400),
                             QRect(1280, 0, 1280, 800), 2, QSize(128, 128)),
              QPoint(2432, 0));
}

TEST(HideDecision, Table) {
    const QStringList list{"firefox.desktop"};
    EXPECT_FALSE(shouldHideStatWindow(false, true, "other.desktop", list));
    EXPECT_TRUE(shouldHideStatWindow(false, false, "firefox.desktop", list));
    EXPECT_FALSE(shouldHideStatWindow(true, false, "other.desktop", list));
    EXPECT_TRUE(shouldHideStatWindow(true, true, "other.desktop", list));
    EXPECT_TRUE(shouldHideStatWindow(true, false, "firefox.desktop", list));
    EXPECT_TRUE(shouldHideStatWindow(true, true, "firefox.desktop", list));
}

TEST(HideDecision, ListMatchIsExact) {
    const QStringList list{"firefox.desktop"};
    EXPECT_FALSE(shouldHideStatWindow(false, false, "Firefox.desktop", list));
    EXPECT_FALSE(shouldHideStatWindow(false, false, "firefox", list));
    EXPECT_FALSE(shouldHideStatWindow(false, false, "", list));
    EXPECT_FALSE(shouldHideStatWindow(false, false, "", {""}));
    EXPECT_FALSE(shouldHideStatWindow(false, false, "firefox.desktop", {}));
}

TEST(FadeCurve, FadeInShowsThirdsAndEndsExactlyAtOne) {
    const double tick = FadeCurve::tickInterval;
    auto t1 = FadeCurve::tick(tick, true);
    auto t2 = FadeCurve::tick(2 * tick, true);
    auto t3 = FadeCurve::tick(3 * tick, true);
    EXPECT_EQ(t1.action, FadeCurve::Tick::Action::SetAlpha);
    EXPECT_EQ(t1.alpha, 0.33333334f);
    EXPECT_EQ(t2.alpha, 0.6666667f);
    EXPECT_EQ(t3.action, FadeCurve::Tick::Action::EndShown);
    EXPECT_EQ(t3.alpha, 1.0f);
}

TEST(FadeCurve, FadeOutEndsOrderedOutWithAlphaRestored) {
    const double tick = FadeCurve::tickInterval;
    EXPECT_EQ(FadeCurve::tick(tick, false).alpha, 0.6666666f);
    EXPECT_NEAR(FadeCurve::tick(2 * tick, false).alpha, 1.0f / 3.0f, 1e-6f);
    const auto last = FadeCurve::tick(3 * tick, false);
    EXPECT_EQ(last.action, FadeCurve::Tick::Action::EndOrderedOut);
    EXPECT_EQ(last.alpha, 1.0f);
}

TEST(FadeCurve, ALateTickEndsTheFade) {
    EXPECT_EQ(FadeCurve::tick(0.5, true).action, FadeCurve::Tick::Action::EndShown);
    EXPECT_EQ(FadeCurve::tick(0.5, false).action, FadeCurve::Tick::Action::EndOrderedOut);
}

} // namespace
