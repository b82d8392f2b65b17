#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

// What GNOME Shell says of Quorvel's companion extension, through the Shell's
// own D-Bus interface (org.gnome.Shell.Extensions), and turning it on there:
// no terminal, and no logging out for a companion the running shell already
// found at its start.
class ShellExtensions : public QObject {
    Q_OBJECT
public:
    // The companion comes in two forms: a script for GNOME 43 and 44, an ES
    // module for 45 and later. Each has its own uuid.
    static constexpr const char* scriptFormUuid = "quorvel-companion@quorvel.org";
    static constexpr const char* moduleFormUuid = "quorvel-companion-gnome45@quorvel.org";

    enum class State {
        Unknown,   // not asked yet, or the shell did not answer
        Missing,   // the shell knows no such extension (not installed where it looks)
        Off,       // installed and turned off
        OutOfDate, // installed, but not made for this shell's version
        Failed,    // turned on, and it failed to start
        On,
    };

    // The form a shell of this version ("48.2", "43.9") loads; the newest
    // form where the version cannot be read.
    static QString companionUuidFor(const QString& shellVersion);
    // From GetExtensionInfo's answer (an empty map for an unknown uuid).
    static State stateFrom(const QVariantMap& info);

    explicit ShellExtensions(const QDBusConnection& bus, QObject* parent = nullptr);

    // Asks again (the answer comes later, with stateChanged).
    void refresh();
    // Asks the shell to turn the companion of its version on.
    void enableCompanion();

    State state() const { return state_; }
    QString companionUuid() const { return uuid_; }
    // The shell's reason, where the companion failed.
    QString error() const { return error_; }

signals:
    void stateChanged();

private:
    void ask(const QString& interface, const QString& method, const QVariantList& arguments,
             std::function<void(const QDBusMessage&)> answered);
    void askInfo();

    QDBusConnection bus_;
    QString uuid_;
    State state_ = State::Unknown;
    QString error_;
};
