#include "session/AutostartEntry.h"

#include "session/RegularFile.h"
#include "session/SystemLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString entryName = QStringLiteral("org.quorvel.Quorvel.desktop");

// The command that starts this program: plain "quorvel" when that is what the
// search path finds, so the entry survives upgrades; else the full path.
QString programCommand() {
    const QString self = QCoreApplication::applicationFilePath();
    const QString found = QStandardPaths::findExecutable(QStringLiteral("quorvel"));
    if (!found.isEmpty() &&
        QFileInfo(found).canonicalFilePath() == QFileInfo(self).canonicalFilePath())
        return QStringLiteral("quorvel");
    return self;
}

} // namespace

AutostartEntry::AutostartEntry(QObject* parent)
    : AutostartEntry(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/autostart"),
                     parent) {}

AutostartEntry::AutostartEntry(QString directory, QObject* parent)
    : QObject(parent), directory_(std::move(directory)) {
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        watch();
        emit changed();
    });
    watch();
}

void AutostartEntry::watch() {
    // Until the autostart directory exists, its parent tells when it appears.
    const QString parent = QFileInfo(directory_).absolutePath();
    for (const QString& path : {parent, directory_})
        if (QFileInfo::exists(path) && !watcher_.directories().contains(path))
            watcher_.addPath(path);
}

QString AutostartEntry::filePath() const {
    return directory_ + u'/' + entryName;
}

bool AutostartEntry::isEnabled() const {
    return QFileInfo::exists(filePath());
}

QByteArray AutostartEntry::entryText(const QString& program) {
    QString exec = program;
    if (exec.contains(u' ') || exec.contains(u'"'))
        exec = u'"' + QString(exec).replace(u'"', QStringLiteral("\\\"")) + u'"';
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Quorvel\n"
                          "Comment=CPU and network graphs floating in a corner of the screen\n"
                          "Exec=%1\n"
                          "Icon=org.quorvel.Quorvel\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec)
        .toUtf8();
}

bool AutostartEntry::setEnabled(bool enabled) {
    if (enabled == isEnabled())
        return true;
    std::optional<QString> failure;
    if (enabled) {
        if (!QDir().mkpath(directory_))
            failure = QStringLiteral("the folder cannot be made");
        watch();
        if (!failure)
            failure = RegularFile::replace(filePath(), entryText(programCommand()));
    } else {
        QFile entry(filePath());
        if (!entry.remove())
            failure = entry.errorString();
    }
    problem_ = failure.value_or(QString());
    if (failure)
        systemLog(QStringLiteral("Cannot %1 the autostart entry %2 (%3).")
                      .arg(enabled ? QStringLiteral("write") : QStringLiteral("remove"), filePath(),
                           *failure));
    emit changed();
    return !failure;
}
