#pragma once

// windowsystem/: the window systems behind small interfaces: the keeper of the
// stat window (WindowKeeper), the active application (ActiveApplication) and
// the pointer (PointerPosition), with x11/ (X11 and Xwayland) and wayland/
// (the layer shell and the compositors' window lists) beside them. WindowSystem
// picks one at start.

#include <QString>

#include <memory>

class ActiveApplication;
class PointerPosition;
class QObject;
class QWidget;

#include "windowsystem/WindowKeeper.h"

// Which window system the stat window uses, chosen once at start from the
// session Quorvel finds:
// - Wayland: a compositor that offers the layer shell; the stat window is a
//   layer surface on a Wayland connection of its own.
// - Xwayland: a Wayland session without the layer shell (GNOME); everything
//   goes through Xwayland, with what that cannot do mended where it can be.
// - X11: a plain X11 session.
// QUORVEL_WINDOW_SYSTEM=wayland|xwayland|x11 forces one; a forced Wayland
// without the layer shell still falls back to Xwayland.
namespace WindowSystem {

enum class Kind { X11, Xwayland, Wayland };

struct Session {
    QString forced;         // QUORVEL_WINDOW_SYSTEM
    QString sessionType;    // XDG_SESSION_TYPE
    QString waylandDisplay; // WAYLAND_DISPLAY
    bool hasLayerShell = false;
};

// The decision itself, from what the session offers.
Kind choose(const Session& session);
// Whether a Wayland connection is worth trying at all.
bool wantsWayland(const Session& session);
QString name(Kind kind);

// Makes the choice (connecting to the compositor when there is one), logs it,
// and keeps the connection. Called once, before the application object exists.
Kind start();
Kind current();

// The keeper belongs to window (as a child object).
WindowKeeper* makeKeeper(QWidget* window, WindowKeeper::Target target);
std::unique_ptr<ActiveApplication> makeActiveApplication();
// The pointer's position for the hover test, where the window system lets it
// be followed over other windows (see WindowKeeper::seesPointer()).
PointerPosition* makePointerPosition(QObject* parent);

} // namespace WindowSystem
