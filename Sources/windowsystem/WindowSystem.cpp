#include "windowsystem/WindowSystem.h"

#include "session/SystemLog.h"
#include "windowsystem/gnome/ShellActiveApplication.h"
#include "windowsystem/gnome/ShellCompanion.h"
#include "windowsystem/wayland/LayerSurfaceKeeper.h"
#include "windowsystem/wayland/WaylandActiveApplication.h"
#include "windowsystem/wayland/WaylandConnection.h"
#include "windowsystem/x11/X11ActiveApplication.h"
#include "windowsystem/x11/X11PointerPosition.h"
#include "windowsystem/x11/X11WindowKeeper.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QPointer>
#include <QWidget>

namespace WindowSystem {

namespace {

// What the living Started holds, for the makers.
Kind chosen = Kind::X11;
WaylandConnection* liveConnection = nullptr;

// A Wayland session, or one forced to be taken for one.
bool waylandWanted(const Session& session) {
    return session.forced.compare(u"wayland", Qt::CaseInsensitive) == 0 ||
           !session.waylandDisplay.isEmpty() ||
           session.sessionType.compare(u"wayland", Qt::CaseInsensitive) == 0;
}

} // namespace

bool wantsWayland(const Session& session) {
    const QString forced = session.forced.toLower();
    return forced != u"x11" && forced != u"xwayland" && waylandWanted(session);
}

Kind choose(const Session& session) {
    const QString forced = session.forced.toLower();
    if (forced == u"x11")
        return Kind::X11;
    if (forced == u"xwayland")
        return Kind::Xwayland;
    if (!waylandWanted(session))
        return Kind::X11;
    return session.hasLayerShell ? Kind::Wayland : Kind::Xwayland;
}

QString name(Kind kind) {
    switch (kind) {
    case Kind::X11:
        return QStringLiteral("X11");
    case Kind::Xwayland:
        return QStringLiteral("Xwayland");
    case Kind::Wayland:
        return QStringLiteral("Wayland");
    }
    return {};
}

Started::Started(Kind kind, std::unique_ptr<WaylandConnection> wayland)
    : kind_(kind), wayland_(std::move(wayland)) {
    chosen = kind_;
    liveConnection = wayland_.get();
}

Started::~Started() {
    chosen = Kind::X11;
    liveConnection = nullptr;
}

std::unique_ptr<Started> start() {
    Session session;
    session.forced = qEnvironmentVariable("QUORVEL_WINDOW_SYSTEM");
    session.sessionType = qEnvironmentVariable("XDG_SESSION_TYPE");
    session.waylandDisplay = qEnvironmentVariable("WAYLAND_DISPLAY");
    const QString forced = session.forced.toLower();
    if (!forced.isEmpty() && forced != u"wayland" && forced != u"xwayland" && forced != u"x11")
        systemLog(QStringLiteral("QUORVEL_WINDOW_SYSTEM=%1 is not one of wayland, xwayland or "
                                 "x11; ignored.")
                      .arg(session.forced));
    std::unique_ptr<WaylandConnection> connection;
    if (wantsWayland(session)) {
        connection = WaylandConnection::connect();
        session.hasLayerShell = connection && connection->layerShell();
    }
    const Kind kind = choose(session);
    QString line = QStringLiteral("Window system: %1").arg(name(kind));
    if (kind == Kind::Wayland) {
        line += WaylandActiveApplication::canWatch(*connection)
                    ? QStringLiteral(" (layer shell; active windows known)")
                    : QStringLiteral(" (layer shell; the compositor does not tell the active "
                                     "window)");
    } else if (kind == Kind::Xwayland) {
        line += connection ? QStringLiteral(" (the compositor has no layer shell)")
                           : QStringLiteral(" (no Wayland compositor answered)");
    }
    // Only the Wayland choice talks to the compositor from here on.
    if (kind != Kind::Wayland)
        connection.reset();
    systemLog(line + u'.');
    return std::make_unique<Started>(kind, std::move(connection));
}

Kind current() {
    return chosen;
}

WindowKeeper* makeKeeper(QWidget* window, WindowKeeper::Target target) {
    if (WaylandConnection* wayland = liveConnection) {
        wayland->attachToEventLoop();
        return new LayerSurfaceKeeper(window, *wayland);
    }
    return new X11WindowKeeper(window, std::move(target));
}

std::unique_ptr<ActiveApplication> makeActiveApplication() {
    WaylandConnection* wayland = liveConnection;
    if (wayland && WaylandActiveApplication::canWatch(*wayland)) {
        wayland->attachToEventLoop();
        return std::make_unique<WaylandActiveApplication>(*wayland);
    }
    if (ShellCompanion* companion = shellCompanion())
        return std::make_unique<ShellActiveApplication>(*companion,
                                                        std::make_unique<X11ActiveApplication>());
    return std::make_unique<X11ActiveApplication>();
}

PointerPosition* makePointerPosition(QObject* parent) {
    return new X11PointerPosition(parent);
}

ShellCompanion* shellCompanion() {
    static QPointer<ShellCompanion> companion;
    if (!companion && chosen == Kind::Xwayland && QCoreApplication::instance())
        companion = new ShellCompanion(QDBusConnection::sessionBus(), QCoreApplication::instance());
    return companion;
}

PointerPresence* pointerPresence() {
    return shellCompanion();
}

} // namespace WindowSystem
