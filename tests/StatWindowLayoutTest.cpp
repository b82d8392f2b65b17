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
