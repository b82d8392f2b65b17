#include "windowsystem/WindowSystem.h"

#include <gtest/gtest.h>

using WindowSystem::Kind;

TEST(WindowSystem, ChoosesFromTheSessionAndWhatTheCompositorOffers) {
    const struct {
        const char* forced;
        const char* sessionType;
        const char* waylandDisplay;
        bool layerShell;
        Kind kind;
    } cases[] = {
        {"", "x11", "", false, Kind::X11},
        {"", "", "", false, Kind::X11},
        {"", "wayland", "wayland-0", true, Kind::Wayland},   // Plasma, sway
        {"", "wayland", "wayland-0", false, Kind::Xwayland}, // GNOME
        {"", "", "wayland-0", true, Kind::Wayland},          // no session type set
        {"x11", "wayland", "wayland-0", true, Kind::X11},
        {"XWayland", "wayland", "wayland-0", true, Kind::Xwayland},
        {"wayland", "x11", "wayland-1", true, Kind::Wayland},
        {"wayland", "wayland", "wayland-0", false, Kind::Xwayland}, // falls back
        {"nonsense", "x11", "", false, Kind::X11},
    };
    for (const auto& c : cases) {
        WindowSystem::Session session{c.forced, c.sessionType, c.waylandDisplay, c.layerShell};
        EXPECT_EQ(WindowSystem::choose(session), c.kind)
            << c.forced << "/" << c.sessionType << "/" << c.waylandDisplay << "/" << c.layerShell;
    }
    EXPECT_FALSE(WindowSystem::wantsWayland({"x11", "wayland", "wayland-0", false}))
        << "forced X11 never connects to the compositor";
    EXPECT_TRUE(WindowSystem::wantsWayland({"", "", "wayland-0", false}));
}
