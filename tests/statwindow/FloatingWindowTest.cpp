#include "statwindow/FloatingWindow.h"
#include "statwindow/FadeCurve.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// Drives the window's fade by hand with a fake clock.
class FadeTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.awakeFromNib();
        window.setClock([this] { return now; });
        window.setFrame(QRect(100, 100, 64, 64));
    }
    void tickAt(double seconds) {
        now = seconds;
        window._windowFader();
    }
    FloatingWindow window;
    double now = 10.0;
};

TEST_F(FadeTest, FadeInFromHiddenAndOutUntilTheLastTickOrdersItOut) {
    window.orderFrontWithFade();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.alphaValue(), 0.0f);
    const double t = FadeCurve::tickInterval;
    tickAt(10 + t);
    EXPECT_NEAR(window.alphaValue(), 1.0 / 3, 0.01);
    tickAt(10 + 3 * t);
    EXPECT_EQ(window.alphaValue(), 1.0f);
    EXPECT_FALSE(window.isFading());

    now = 20;
    window.orderOutWithFade();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.alphaValue(), 1.0f) << "nothing changes before the first tick";
    tickAt(20 + t);
    EXPECT_NEAR(window.alphaValue(), 2.0 / 3, 0.01);
    tickAt(20.2); // late
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.alphaValue(), 1.0f) << "alpha is restored for a later plain show";
    EXPECT_FALSE(window.isFading());
}

TEST_F(FadeTest, ReversalHalfWayRestartsTheClock) {
    window.orderFrontWithFade();
    tickAt(10.05);
    ASSERT_NEAR(window.alphaValue(), 0.5, 0.01);
    window.orderOutWithFade(); // clock restarts at 10.05
    tickAt(10.05 + 0.05);
    EXPECT_TRUE(window.isVisible()) << "the fade in's end never came";
    EXPECT_NEAR(window.alphaValue(), 0.5, 0.01) << "counted from the new start";
    tickAt(10.2);
    EXPECT_FALSE(window.isVisible());

    window.orderFrontWithFade(); // a fade out interrupted the other way round
    EXPECT_EQ(window.alphaValue(), 0.0f);
    EXPECT_TRUE(window.isVisible());
}

TEST(FloatingWindow, RealTimerFinishesAFade) {
    FloatingWindow window;
    window.awakeFromNib();
    window.setFrame(QRect(0, 0, 64, 64));
    window.orderFront();
    window.orderOutWithFade();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }, 1000));
    EXPECT_FALSE(window.isFading());
}

} // namespace
