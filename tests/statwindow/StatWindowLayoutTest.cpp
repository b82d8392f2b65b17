#include "statwindow/StatWindowLayout.h"

#include <gtest/gtest.h>

namespace {

using namespace StatWindowLayout;

TEST(StatWindowFrame, EveryCornerFromTheGraphCount) {
    EXPECT_EQ(_graphRect(2, 15), QRectF(132, 0, 64, 64)) << "slots are 66 apart";
    EXPECT_EQ(_graphRect(17, 15), QRectF(132, 66, 64, 64)) << "and rows too";
    struct Case {
        QRectF workArea;
        int graphs, corner;
        QRectF frame;
    };
    // A 1024 x 768 screen with a 22-unit panel at the top; then also a 30-unit
    // dock along the bottom and a 48-unit one at the left.
    const QRectF underTopPanel(0, 22, 1024, 746), betweenPanels(48, 22, 976, 716);
    for (const Case& c : {
             Case{underTopPanel, 3, 1, QRectF(828, 22, 196, 64)},
             Case{underTopPanel, 5, 0, QRectF(0, 22, 328, 64)},
             Case{underTopPanel, 5, 2, QRectF(0, 704, 328, 64)},
             Case{underTopPanel, 5, 3, QRectF(696, 704, 328, 64)},
             Case{underTopPanel, 5, 7, QRectF(696, 704, 328, 64)}, // unknown: bottom right
             Case{underTopPanel, 5, -1, QRectF(696, 704, 328, 64)},
             Case{betweenPanels, 5, 0, QRectF(48, 22, 328, 64)},
             Case{betweenPanels, 5, 2, QRectF(48, 674, 328, 64)},
             Case{betweenPanels, 5, 3, QRectF(696, 674, 328, 64)},
             Case{QRectF(1024, 100, 800, 600), 1, 3, QRectF(1760, 636, 64, 64)},
             Case{underTopPanel, 0, 1, QRectF()}, // no graphs, no frame
         })
        EXPECT_EQ(statWindowFrame(c.workArea, c.graphs, 15, c.corner), c.frame)
            << c.graphs << " graphs, corner " << c.corner;
}

// Many processors on a 1280 × 800 screen under a 24-unit panel: the graphs
// wrap into rows, the window stays within the work area and within half its
// height, and every processor is in one graph; processors share a graph only
// where the rows would not fit otherwise.
TEST(GraphGrid, ManyProcessorsWrapIntoRowsAndEachIsSeen) {
    const QRectF area(0, 24, 1280, 776);
    struct Case {
        int others, processors, perGraph, cpuGraphs;
    };
    for (const Case& c : {Case{1, 16, 1, 16}, Case{1, 64, 1, 64}, Case{1, 256, 3, 86},
                          Case{6, 1024, 12, 86}, Case{200, 4, 4, 1}, Case{1, 0, 1, 0}}) {
        const GraphGrid grid = graphGrid(area, c.others, c.processors);
        EXPECT_EQ(grid.columns, 19);
        EXPECT_EQ(grid.processorsPerGraph, c.perGraph) << c.processors;
        EXPECT_EQ(grid.cpuGraphs, c.cpuGraphs) << c.processors;
        EXPECT_GE(grid.cpuGraphs * grid.processorsPerGraph, c.processors);
        const QRectF frame = statWindowFrame(area, c.others + grid.cpuGraphs, grid.columns, 3);
        EXPECT_TRUE(area.contains(frame)) << c.processors;
        if (c.others <= 19 * 5) {
            EXPECT_LE(frame.height(), area.height() / 2) << c.processors;
        }
    }
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
             // Touching no edge: scaled from the near edges.
             Case{1.5, QRect(0, 0, 853, 533), QRect(100, 100, 196, 64), {294, 96}, {150, 150}},
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

} // namespace
