#pragma once

// windowsystem/gnome/: GNOME's Wayland session, seen through Xwayland, made
// whole by Quorvel's GNOME Shell companion (an extension, in extension/): the
// client of its D-Bus interface, and the active application it reports.

#include "windowsystem/PointerPresence.h"

#include <QDBusConnection>
#include <QRect>
#include <QString>

class QDBusMessage;
class QDBusPendingCallWatcher;

// Quorvel's side of the companion's D-Bus interface. Quorvel registers with
// the companion whenever it appears on the session bus (at start, and again
// after the shell restarts), and from then on is told which application is in
// front, whether the focused window is full screen and on which monitor, when
// the pointer comes onto the stat window and leaves it, and which item of the
// top-bar menu was chosen. Without the companion (or while it is gone) it
// reports nothing, and the X11 ways stand in. Whatever the bus brings that is
// not in the interface's form is ignored, with a line in the log.
class ShellCompanion : public PointerPresence {
    Q_OBJECT
public:
    static constexpr const char* busName = "org.quorvel.ShellCompanion";
    static constexpr const char* objectPath = "/org/quorvel/ShellCompanion";
    static constexpr const char* interfaceName = "org.quorvel.ShellCompanion1";

    struct Focus {
        QString application; // a desktop-file id, empty when none is known
        bool fullScreen = false;
        QRect monitor; // the focused window's monitor, in the shell's pixels
    };

    explicit ShellCompanion(const QDBusConnection& bus, QObject* parent = nullptr);

    // Registered and answering.
    bool isPresent() const { return present_; }
    const Focus& focus() const { return focus_; }
    // Asks for the top-bar menu (where no tray host shows Quorvel's icon).
    void setTopBarMenuWanted(bool wanted);

    bool reportsPointer() const override { return present_ && pointerWanted_; }
    bool pointerInside() const override { return pointerInside_; }
    void setPointerWanted(bool wanted) override;

signals:
    // Also when a first try to register found no companion.
    void presenceChanged(bool present);
    void focusChanged();
    // "preferences", "about" or "quit".
    void menuActivated(const QString& action);

private slots:
    void focusMessage(const QDBusMessage& message);
    void pointerMessage(const QDBusMessage& message);
    void menuMessage(const QDBusMessage& message);

private:
    void registerWithCompanion();
    void registered(QDBusPendingCallWatcher* call);
    void gone();
    void setFocus(const Focus& focus);
    void ignore(const QString& what);

    QDBusConnection bus_;
    bool present_ = false;
    bool topBarMenuWanted_ = false;
    bool pointerWanted_ = false;
    // What the registration that was sent last asked for.
    bool topBarMenuAsked_ = false;
    bool pointerAsked_ = false;
    bool pointerInside_ = false;
    Focus focus_;
    // Which registration answered last: an answer that comes after a newer
    // request was sent is stale.
    int registrations_ = 0;
};
