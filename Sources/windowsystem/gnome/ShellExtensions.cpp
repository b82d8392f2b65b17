#include "windowsystem/gnome/ShellExtensions.h"

#include "session/SystemLog.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace {

const QString shellService = QStringLiteral("org.gnome.Shell");
const QString shellPath = QStringLiteral("/org/gnome/Shell");
const QString extensionsInterface = QStringLiteral("org.gnome.Shell.Extensions");
// A shell that is busy (starting, or in its overview) answers within this.
constexpr int callTimeoutMs = 3000;

// The shell's own numbers for an extension's state.
enum ShellExtensionState {
    Enabled = 1,
    Disabled = 2,
    Error = 3,
    OutOfDate = 4,
    Initialized = 6,
    Disabling = 7,
    Enabling = 8,
};

} // namespace

QString ShellExtensions::companionUuidFor(const QString& shellVersion) {
    bool ok = false;
    const int major = shellVersion.section(u'.', 0, 0).toInt(&ok);
    return QString::fromLatin1(ok && major < 45 ? scriptFormUuid : moduleFormUuid);
}

ShellExtensions::State ShellExtensions::stateFrom(const QVariantMap& info) {
    if (info.isEmpty())
        return State::Missing;
    bool ok = false;
    // The shell sends its state as a double.
    const int state = int(info.value(QStringLiteral("state")).toDouble(&ok));
    if (!ok)
        return State::Unknown;
    switch (state) {
    case Enabled:
    case Enabling:
        return State::On;
    case Disabled:
    case Initialized:
    case Disabling:
        return State::Off;
    case Error:
        return State::Failed;
    case OutOfDate:
        return State::OutOfDate;
    default:
        return State::Unknown;
    }
}

ShellExtensions::ShellExtensions(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {}

// One call to the shell, answered later (or with an error after the time).
void ShellExtensions::ask(const QString& interface, const QString& method,
                          const QVariantList& arguments,
                          std::function<void(const QDBusMessage&)> answered) {
    QDBusMessage call = QDBusMessage::createMethodCall(shellService, shellPath, interface, method);
    call.setArguments(arguments);
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call, callTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [answered = std::move(answered)](QDBusPendingCallWatcher* watcher) {
                watcher->deleteLater();
                answered(watcher->reply());
            });
}

void ShellExtensions::refresh() {
    ask(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
        {extensionsInterface, QStringLiteral("ShellVersion")}, [this](const QDBusMessage& reply) {
            QString version;
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
                version = reply.arguments().first().value<QDBusVariant>().variant().toString();
            uuid_ = companionUuidFor(version);
            askInfo();
        });
}

void ShellExtensions::askInfo() {
    ask(extensionsInterface, QStringLiteral("GetExtensionInfo"), {uuid_},
        [this](const QDBusMessage& reply) {
            QVariantMap info;
            if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == u"a{sv}")
                info = qdbus_cast<QVariantMap>(reply.arguments().first());
            const State state =
                reply.type() == QDBusMessage::ReplyMessage ? stateFrom(info) : State::Unknown;
            error_ = info.value(QStringLiteral("error")).toString();
            if (state != state_) {
                state_ = state;
                emit stateChanged();
            }
        });
}

void ShellExtensions::enableCompanion() {
    if (uuid_.isEmpty())
        uuid_ = QString::fromLatin1(moduleFormUuid);
    ask(extensionsInterface, QStringLiteral("EnableExtension"), {uuid_},
        [this](const QDBusMessage& reply) {
            if (reply.type() == QDBusMessage::ErrorMessage)
                systemLog(QStringLiteral("GNOME Shell did not turn on %1 (%2: %3).")
                              .arg(uuid_, reply.errorName(), reply.errorMessage()));
            askInfo();
        });
}
