#include "windowsystem/gnome/ShellCompanion.h"

#include "session/SystemLog.h"
#include "windowsystem/gnome/ShellExtensions.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

#include <optional>

namespace {

// A shell that does not answer within this long is taken to be without the
// companion until its name changes hands again.
constexpr int registerTimeoutMs = 5000;

std::optional<QRect> rectangleFrom(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>())
        return std::nullopt;
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != u"(iiii)")
        return std::nullopt;
    int x = 0, y = 0, width = 0, height = 0;
    argument.beginStructure();
    argument >> x >> y >> width >> height;
    argument.endStructure();
    if (width < 0 || height < 0)
        return std::nullopt;
    return QRect(x, y, width, height);
}

// (s application, b fullScreen, (iiii) monitor) from the message's arguments,
// which must begin with exactly these.
std::optional<ShellCompanion::Focus> focusFrom(const QDBusMessage& message) {
    if (!message.signature().startsWith(u"sb(iiii)"))
        return std::nullopt;
    const QVariantList arguments = message.arguments();
    const std::optional<QRect> monitor = rectangleFrom(arguments.at(2));
    if (!monitor)
        return std::nullopt;
    ShellCompanion::Focus focus;
    focus.application = arguments.at(0).toString();
    focus.fullScreen = arguments.at(1).toBool();
    focus.monitor = *monitor;
    return focus;
}

} // namespace

ShellCompanion::ShellCompanion(const QDBusConnection& bus, QObject* parent)
    : PointerPresence(parent), bus_(bus) {
    if (!bus_.isConnected())
        return;
    auto* watcher = new QDBusServiceWatcher(QString::fromLatin1(busName), bus_,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                gone();
                if (!newOwner.isEmpty())
                    registerWithCompanion();
            });
    // The signals come to this connection alone; Qt matches them to the
    // name's current owner.
    const QString service = QString::fromLatin1(busName);
    const QString path = QString::fromLatin1(objectPath);
    const QString interface = QString::fromLatin1(interfaceName);
    bus_.connect(service, path, interface, QStringLiteral("FocusChanged"), this,
                 SLOT(focusMessage(QDBusMessage)));
    bus_.connect(service, path, interface, QStringLiteral("PointerChanged"), this,
                 SLOT(pointerMessage(QDBusMessage)));
    bus_.connect(service, path, interface, QStringLiteral("MenuActivated"), this,
                 SLOT(menuMessage(QDBusMessage)));
    registerWithCompanion();
}

void ShellCompanion::setTopBarMenuWanted(bool wanted) {
    if (wanted == topBarMenuWanted_)
        return;
    topBarMenuWanted_ = wanted;
    if (present_)
        registerWithCompanion();
}

void ShellCompanion::setPointerWanted(bool wanted) {
    if (wanted == pointerWanted_)
        return;
    pointerWanted_ = wanted;
    if (!wanted)
        pointerInside_ = false;
    if (present_)
        registerWithCompanion();
    emit pointerPresenceChanged();
}

// Registering again changes what Quorvel asks for; the companion keeps one
// Quorvel, the first that registered, while it stays on the bus.
void ShellCompanion::registerWithCompanion() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(busName), QString::fromLatin1(objectPath),
        QString::fromLatin1(interfaceName), QStringLiteral("Register"));
    call << topBarMenuWanted_ << pointerWanted_;
    topBarMenuAsked_ = topBarMenuWanted_;
    pointerAsked_ = pointerWanted_;
    const int registration = ++registrations_;
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call, registerTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, registration](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                if (registration == registrations_)
                    registered(answered);
            });
}

void ShellCompanion::registered(QDBusPendingCallWatcher* call) {
    const QDBusMessage reply = call->reply();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString error = reply.errorName();
        if (error == u"org.freedesktop.DBus.Error.ServiceUnknown" ||
            error == u"org.freedesktop.DBus.Error.NameHasNoOwner") {
            systemLog(QStringLiteral(
                          "Window system: Xwayland without the GNOME Shell companion; on GNOME, "
                          "turning it on in the preferences or with `gnome-extensions enable "
                          "%1` (GNOME 43 and 44: %2) lets clicks through to native windows and "
                          "tells Quorvel about them.")
                          .arg(QString::fromLatin1(ShellExtensions::moduleFormUuid),
                               QString::fromLatin1(ShellExtensions::scriptFormUuid)));
        } else {
            systemLog(QStringLiteral("The GNOME Shell companion did not take Quorvel (%1: %2).")
                          .arg(error, reply.errorMessage()));
        }
        if (present_)
            gone();
        else
            emit presenceChanged(false);
        return;
    }
    const std::optional<Focus> focus = focusFrom(reply);
    if (reply.signature() != u"sb(iiii)b" || !focus) {
        ignore(QStringLiteral("an answer to Register of the form %1").arg(reply.signature()));
        gone();
        return;
    }
    const bool wasPresent = present_;
    present_ = true;
    if (!wasPresent) {
        systemLog(QStringLiteral("Window system: Xwayland with the GNOME Shell companion (the "
                                 "active application, full screen and the pointer come from "
                                 "the shell)."));
        emit presenceChanged(true);
    }
    setFocus(*focus);
    const bool inside = pointerWanted_ && reply.arguments().at(3).toBool();
    if (inside != pointerInside_ || !wasPresent) {
        pointerInside_ = inside;
        emit pointerPresenceChanged();
    }
    // Wishes that changed while the answer was on its way.
    if (topBarMenuAsked_ != topBarMenuWanted_ || pointerAsked_ != pointerWanted_)
        registerWithCompanion();
}

void ShellCompanion::gone() {
    if (!present_)
        return;
    present_ = false;
    pointerInside_ = false;
    focus_ = {};
    systemLog(QStringLiteral("The GNOME Shell companion is gone; Quorvel goes on without it."));
    emit presenceChanged(false);
    emit focusChanged();
    emit pointerPresenceChanged();
}

void ShellCompanion::setFocus(const Focus& focus) {
    if (focus.application == focus_.application && focus.fullScreen == focus_.fullScreen &&
        focus.monitor == focus_.monitor)
        return;
    focus_ = focus;
    emit focusChanged();
}

void ShellCompanion::focusMessage(const QDBusMessage& message) {
    if (!present_)
        return;
    const std::optional<Focus> focus = focusFrom(message);
    if (message.signature() != u"sb(iiii)" || !focus)
        return ignore(QStringLiteral("FocusChanged of the form %1").arg(message.signature()));
    setFocus(*focus);
}

void ShellCompanion::pointerMessage(const QDBusMessage& message) {
    if (!present_)
        return;
    if (message.signature() != u"b")
        return ignore(QStringLiteral("PointerChanged of the form %1").arg(message.signature()));
    const bool inside = pointerWanted_ && message.arguments().at(0).toBool();
    if (inside == pointerInside_)
        return;
    pointerInside_ = inside;
    emit pointerPresenceChanged();
}

void ShellCompanion::menuMessage(const QDBusMessage& message) {
    if (!present_)
        return;
    const QString action =
        message.signature() == u"s" ? message.arguments().at(0).toString() : QString();
    if (action != u"preferences" && action != u"about" && action != u"quit")
        return ignore(QStringLiteral("a menu item of the form %1").arg(message.signature()));
    emit menuActivated(action);
}

// Each kind of nonsense is told once: a confused shell could send it often.
// Each kind of nonsense is told once, and only the first few kinds: a sender
// that varies its nonsense without end must not fill the log.
void ShellCompanion::ignore(const QString& what) {
    static QStringList told;
    constexpr qsizetype kindsTold = 8;
    if (told.size() > kindsTold || told.contains(what))
        return;
    told.append(what);
    if (told.size() > kindsTold)
        systemLog(QStringLiteral("The GNOME Shell companion keeps sending what Quorvel does not "
                                 "understand; no more of it is told."));
    else
        systemLog(QStringLiteral("The GNOME Shell companion sent %1; ignored.").arg(what));
}
