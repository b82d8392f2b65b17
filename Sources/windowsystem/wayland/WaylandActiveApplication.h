#pragma once

#include "session/DesktopEntries.h"
#include "windowsystem/ActiveApplication.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QRect>

class WaylandConnection;
struct wl_output;
struct org_kde_plasma_window;
struct org_kde_plasma_window_management;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

// The active application in a Wayland session, native applications included:
// the toplevel the compositor calls active, from wlroots' foreign-toplevel
// list (sway, Hyprland, labwc, wayfire, river) or from KDE's plasma window
// management (KWin), mapped to its desktop entry by its app id the way
// desktop shells do. Event-driven: the answer changes only when the
// compositor reports a change.
class WaylandActiveApplication : public QObject, public ActiveApplication {
    Q_OBJECT
public:
    // Whether the compositor tells about other clients' windows at all.
    static bool canWatch(const WaylandConnection& wayland);

    explicit WaylandActiveApplication(WaylandConnection& wayland, QObject* parent = nullptr);
    ~WaylandActiveApplication() override;

    QString activeDesktopEntry() override;
    // On the output the stat window's surface is on (the rectangle, in X's
    // device pixels, has no meaning here).
    bool activeIsFullScreenOn(const QRect& deviceScreen) override;
    void setListedDesktopFiles(const QStringList& paths) override;

    // What a window's app id (and, where known, its program's name) tells
    // about it, for matching it to a desktop entry.
    static WindowIdentity identityForAppId(const QString& appId, const QString& executable = {});

    struct Toplevel {
        QString appId;
        QString executable;
        bool active = false;
        bool fullScreen = false;
        QList<const wl_output*> outputs; // where wlroots says it is
        QRect geometry;                  // where KWin says it is, in logical units
    };
    // Whether a toplevel is on the stat window's output, given that output
    // and its logical place. Where either side is unknown it counts as on it,
    // so that a full-screen window in front still hides the stat window.
    static bool isOnOutput(const Toplevel& toplevel, const wl_output* output,
                           const QRect& outputLogical);

private:
    void changed();

    WaylandConnection& wayland_;
    // One of the two, whichever the compositor offers.
    zwlr_foreign_toplevel_manager_v1* foreignToplevels_ = nullptr;
    org_kde_plasma_window_management* plasmaWindows_ = nullptr;
    DesktopEntries entries_;
    // Keyed by the protocol object of either source.
    QHash<void*, Toplevel> toplevels_;
    QHash<void*, Toplevel> pending_; // wlroots' state, until its done event
    QString cached_;
    bool stale_ = true;

    friend struct ForeignToplevelEvents;
    friend struct PlasmaWindowEvents;
};
