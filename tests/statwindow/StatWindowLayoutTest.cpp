#include "statwindow/StatWindowLayout.h"
#include "statwindow/FadeCurve.h"

#include <gtest/gtest.h>

namespace {

using namespace StatWindowLayout;

TEST(StatWindowFrame, EveryCornerFromTheGraphCount) {
    EXPECT_EQ(_graphRect(2), QRectF(132, 0, 64, 64)) << "slots are 66 apart";
    struct Case {
        QRectF workArea; // y up
        int graphs, corner;
        QRectF frame; // y up
    };
    // A 1024 x 768 screen with a 22-unit panel at the top.
    const QRectF underTopPanel(0, 0, 1024, 746);
    // And a 30-unit dock along the bottom, a 48-unit one at the left.
    const QRectF betweenPanels(48, 30, 976, 716);
    for (const Case& c : {
             // Two processors and the network graph.
             Case{underTopPanel, 3, 1, QRectF(828, 682, 196, 64)},
             Case{underTopPanel, 5, 0, QRectF(0, 682, 328, 64)},
             Case{underTopPanel, 5, 2, QRectF(0, 0, 328, 64)},
             Case{underTopPanel, 5, 3, QRectF(696, 0, 328, 64)},
             Case{underTopPanel, 5, 7, QRectF(696, 0, 328, 64)}, // unknown: bottom right
             Case{underTopPanel, 5, -1, QRectF(696, 0, 328, 64)},
             Case{betweenPanels, 5, 0, QRectF(48, 682, 328, 64)},
             Case{betweenPanels, 5, 2, QRectF(48, 30, 328, 64)},
             Case{betweenPanels, 5, 3, QRectF(696, 30, 328, 64)},
             Case{QRectF(1024, 100, 800, 600), 1, 1, QRectF(1760, 636, 64, 64)},
             Case{underTopPanel, 0, 1, QRectF()}, // no graphs, no frame
         })
        EXPECT_EQ(statWindowFrame(c.workArea, c.graphs, c.corner), c.frame)
            << c.graphs << " graphs, corner " << c.corner;
    // In Qt's coordinates the top-right frame is 22 below the top.
    EXPECT_EQ(flipped(QRectF(828, 682, 196, 64), 768), QRectF(828, 22, 196, 64));
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

TEST(HideDecision, PointerOrAnExactlyListedApplicationHides) {
    const QStringList list{"firefox.desktop"};
    struct Case {
        bool autoHide, pointerIn;
        QString active;
        QStringList list;
        bool hide;
    };
    for (const Case& c : {
             Case{false, true, "other.desktop", list,
                  false}, // the pointer counts only with AutoHide
             Case{false, false, "firefox.desktop", list, true},
             Case{true, false, "other.desktop", list, false},
             Case{true, true, "other.desktop", list, true},
             Case{true, true, "firefox.desktop", list, true},
             Case{false, false, "Firefox.desktop", list, false},
             Case{false, false, "firefox", list, false},
             Case{false, false, "", list, false},
             Case{false, false, "", {""}, false},
             Case{false, false, "firefox.desktop", {}, false},
         })
        EXPECT_EQ(shouldHideStatWindow(c.autoHide, c.pointerIn, c.active, c.list), c.hide)
            << c.autoHide << c.pointerIn << " " << c.active.toStdString();
}

TEST(FadeCurve, ThirdsThenAnExactEndAndALateTickEndsIt) {
    const double tick = FadeCurve::tickInterval;
    EXPECT_EQ(FadeCurve::tick(tick, true).action, FadeCurve::Tick::Action::SetAlpha);
    EXPECT_EQ(FadeCurve::tick(tick, true).alpha, 0.33333334f);
    EXPECT_EQ(FadeCurve::tick(2 * tick, true).alpha, 0.6666667f);
    EXPECT_EQ(FadeCurve::tick(3 * tick, true).action, FadeCurve::Tick::Action::EndShown);
    EXPECT_EQ(FadeCurve::tick(3 * tick, true).alpha, 1.0f);
    EXPECT_EQ(FadeCurve::tick(tick, false).alpha, 0.6666666f);
    EXPECT_NEAR(FadeCurve::tick(2 * tick, false).alpha, 1.0f / 3.0f, 1e-6f);
    const auto last = FadeCurve::tick(3 * tick, false);
    EXPECT_EQ(last.action, FadeCurve::Tick::Action::EndOrderedOut);
    EXPECT_EQ(last.alpha, 1.0f) << "alpha restored for the next showing";
    EXPECT_EQ(FadeCurve::tick(0.5, true).action, FadeCurve::Tick::Action::EndShown);
    EXPECT_EQ(FadeCurve::tick(0.5, false).action, FadeCurve::Tick::Action::EndOrderedOut);
}

} // namespace
