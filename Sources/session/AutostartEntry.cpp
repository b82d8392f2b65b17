#include "session/AutostartEntry.h"

#include "session/RegularFile.h"
#include "session/SystemLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

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

// The program's path as one argument of a desktop entry's Exec key: a path
// with a reserved character is quoted, with ", `, $ and \ escaped inside the
// quotes; % is doubled, since it starts a field code; and then the file's own
// string escapes apply (a backslash doubled once more, line ends written \n).
QString AutostartEntry::execArgument(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`");
    QString argument = QString(program).replace(u'%', QStringLiteral("%%"));
    if (std::any_of(argument.cbegin(), argument.cend(),
                    [](QChar c) { return reserved.contains(c); })) {
        QString quoted = QStringLiteral("\"");
        for (const QChar c : std::as_const(argument)) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        argument = quoted + u'"';
    }
    return argument.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'\n', QStringLiteral("\\n"))
        .replace(u'\r', QStringLiteral("\\r"))
        .replace(u'\t', QStringLiteral("\\t"));
}

QByteArray AutostartEntry::entryText(const QString& program) {
    const QString exec = execArgument(program);
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
