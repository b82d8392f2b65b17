#include "windowsystem/wayland/WaylandActiveApplication.h"

#include <gtest/gtest.h>

namespace {

// Whether a full-screen window counts as on the stat window's output: by the
// outputs wlroots names for it, else by the centre of the geometry KWin gives.
TEST(WaylandActiveApplication, AToplevelIsOnTheStatWindowsOutputWhereTheCompositorSaysSo) {
    // Stand-ins for two outputs' proxies; only their identity matters.
    int left = 0, right = 0;
    const auto* leftOutput = reinterpret_cast<const wl_output*>(&left);
    const auto* rightOutput = reinterpret_cast<const wl_output*>(&right);
    const QRect leftRect(0, 0, 1280, 800), rightRect(1280, 0, 1280, 800);
    auto on = [](QList<const wl_output*> outputs, QRect geometry) {
        WaylandActiveApplication::Toplevel toplevel;
        toplevel.outputs = outputs;
        toplevel.geometry = geometry;
        return toplevel;
    };
    struct Case {
        WaylandActiveApplication::Toplevel toplevel;
        const wl_output* output;
        QRect outputRect;
        bool expected;
    };
    for (const Case& c : {
             Case{on({rightOutput}, {}), rightOutput, rightRect, true},
             Case{on({rightOutput}, {}), leftOutput, leftRect, false},
             Case{on({leftOutput, rightOutput}, {}), leftOutput, leftRect, true}, // spans both
             Case{on({}, QRect(1280, 0, 1280, 800)), rightOutput, rightRect, true},
             Case{on({}, QRect(1280, 0, 1280, 800)), leftOutput, leftRect, false},
             Case{on({}, QRect(1200, 0, 1280, 800)), rightOutput, rightRect, true}, // mostly right
             // Unknown on either side: it counts, as when nothing was matched.
             Case{on({}, {}), leftOutput, leftRect, true},
             Case{on({}, QRect(1280, 0, 1280, 800)), leftOutput, QRect(), true},
             Case{on({rightOutput}, {}), nullptr, QRect(), true},
         }) {
        EXPECT_EQ(WaylandActiveApplication::isOnOutput(c.toplevel, c.output, c.outputRect),
                  c.expected)
            << "outputs " << c.toplevel.outputs.size() << ", geometry x " << c.toplevel.geometry.x()
            << ", stat window on the " << (c.output == leftOutput ? "left" : "right");
    }
}

} // namespace
