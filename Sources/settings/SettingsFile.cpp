#include "settings/SettingsFile.h"

#include "session/RegularFile.h"
#include "session/SystemLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

SettingsFile::SettingsFile(QString path, QObject* parent)
    : QObject(parent), path_(std::move(path)) {
    // Editors save by writing a new file and renaming it over the old one, which
    // drops the file from a watch; the folder's watch sees those too. A burst of
    // notices is one change.
    settle_.setSingleShot(true);
    settle_.setInterval(100);
    connect(&settle_, &QTimer::timeout, this, &SettingsFile::changedByOthers);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, &settle_, qOverload<>(&QTimer::start));
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, &settle_,
            qOverload<>(&QTimer::start));
    watch();
}

void SettingsFile::watch() {
    const QFileInfo info(path_);
    QDir().mkpath(info.absolutePath());
    if (!watcher_.directories().contains(info.absolutePath()))
        watcher_.addPath(info.absolutePath());
    if (info.exists() && !watcher_.files().contains(info.absoluteFilePath()))
        watcher_.addPath(info.absoluteFilePath());
}

SettingsFile::Contents SettingsFile::read() {
    watch();
    RegularFile::ReadResult file = RegularFile::read(path_);
    Contents contents{State::Unreadable, std::nullopt, file.error};
    switch (file.status) {
    case RegularFile::ReadStatus::Missing:
        contents.state = State::Missing;
        break;
    case RegularFile::ReadStatus::NotRegular:
        contents.state = State::NotRegular;
        break;
    case RegularFile::ReadStatus::Read:
        contents.text = SettingsText::parse(file.bytes, &contents.why);
        if (contents.text)
            contents.state = State::Read;
        break;
    case RegularFile::ReadStatus::TooLarge:
    case RegularFile::ReadStatus::Failed:
        break;
    }
    return contents;
}

std::optional<QString> SettingsFile::replace(const QByteArray& bytes, bool keepAside) {
    // Something that is not a regular file in the file's place is refused by
    // the replacement itself, and left as it is.
    QDir().mkpath(QFileInfo(path_).absolutePath());
    const auto failure =
        keepAside ? replaceKeepingAside(bytes) : RegularFile::replace(path_, bytes);
    watch();
    settle_.stop(); // our own write is not someone else's change
    return failure;
}

// A second name for the old file's bytes is made first, so that a
// replacement that fails leaves everything where it was. Where the settings
// file is a symbolic link, the bytes are those of the file it points to (which
// the save replaces), never the link itself: a link kept aside would point at
// the new text. A hard link takes no room on a full disk; where none can be
// made (the linked file is on another file system), a link's bytes are
// copied, and a plain file is renamed.
std::optional<QString> SettingsFile::replaceKeepingAside(const QByteArray& bytes) {
    // Two unreadable files kept within one second would share a name, and
    // the second would take the first's place: the later one gets a number.
    const QString stamped =
        path_ + QStringLiteral(".unreadable-") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString backup = stamped;
    for (int n = 2; QFileInfo(backup).exists() || QFileInfo(backup).isSymLink(); ++n)
        backup = stamped + u'-' + QString::number(n);
    const QByteArray original = QFile::encodeName(path_);
    const QByteArray kept = QFile::encodeName(backup);
    const bool isLink = QFileInfo(path_).isSymLink();
    const bool linked = ::linkat(AT_FDCWD, original.constData(), AT_FDCWD, kept.constData(),
                                 AT_SYMLINK_FOLLOW) == 0;
    if (!linked) {
        if (isLink) {
            const RegularFile::ReadResult old = RegularFile::read(path_);
            if (old.status != RegularFile::ReadStatus::Read)
                return QStringLiteral("the unreadable file cannot be kept aside: %1")
                    .arg(old.error);
            if (const auto failure = RegularFile::replace(backup, old.bytes))
                return QStringLiteral("the unreadable file cannot be kept aside as %1: %2")
                    .arg(backup, *failure);
        } else if (::rename(original.constData(), kept.constData()) != 0) {
            return QStringLiteral("the unreadable file cannot be kept aside as %1").arg(backup);
        }
    }
    const bool renamed = !linked && !isLink;
    const auto failure = RegularFile::replace(path_, bytes);
    if (failure) {
        if (renamed)
            ::rename(kept.constData(), original.constData());
        else
            ::unlink(kept.constData());
        return failure;
    }
    systemLog(QStringLiteral("The unreadable settings file was kept as %1.").arg(backup));
    return std::nullopt;
}
