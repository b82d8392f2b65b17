#pragma once

// windowsystem/: the window systems behind small interfaces: the keeper of the
// stat window (WindowKeeper), the active application (ActiveApplication) and
// the pointer (PointerPosition), with x11/ (X11 and Xwayland) and wayland/
// (the layer shell and the compositors' window lists) and gnome/ (GNOME through
// Xwayland, with Quorvel's Shell companion) beside them. WindowSystem picks one
// at start.

#include <QString>

#include <memory>

#include "windowsystem/WindowKeeper.h"

class ActiveApplication;
class PointerPosition;
class PointerPresence;
class ShellCompanion;
class QObject;
class QWidget;
class WaylandConnection;

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

// The window system chosen at start and, when it is Wayland, the connection to
// the compositor that the stat window's layer surface and the window list use.
// The makers below use it while it lives, so it is made before the application
// object and the windows and must end after them; ending it closes the
// connection. Without one (in tests) they make the X11 kinds.
class Started {
public:
    Started(Kind kind, std::unique_ptr<WaylandConnection> wayland);
    ~Started();
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;
    Kind kind() const { return kind_; }

private:
    Kind kind_;
    std::unique_ptr<WaylandConnection> wayland_;
};

// Makes the choice (connecting to the compositor when there is one) and logs
// it. Called once, before the application object exists.
[[nodiscard]] std::unique_ptr<Started> start();
// The choice of the Started that lives, X11 when none does.
Kind current();

// The keeper belongs to window (as a child object).
WindowKeeper* makeKeeper(QWidget* window, WindowKeeper::Target target);
std::unique_ptr<ActiveApplication> makeActiveApplication();
// The pointer's position for the hover test, where the window system lets it
// be followed over other windows (see WindowKeeper::seesPointer()).
PointerPosition* makePointerPosition(QObject* parent);
// On Xwayland (GNOME), the client of Quorvel's GNOME Shell companion, made at
// the first call, which needs the application object; it lives as long as
// that does. Null elsewhere.
ShellCompanion* shellCompanion();
// Where the window system reports the pointer coming onto the stat window and
// leaving it: the companion, on Xwayland. Null elsewhere.
PointerPresence* pointerPresence();

} // namespace WindowSystem
