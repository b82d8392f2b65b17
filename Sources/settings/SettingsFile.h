#pragma once

#include "settings/SettingsText.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <optional>

// The settings file on disk. It is read only when it is a regular file of
// sane size, and replaced whole (a new file renamed over it), so that a full
// disk or a crash never leaves half a file. A file that is not text at all is
// kept beside its replacement (Quorvel.conf.unreadable-<time>, numbered where
// that name is taken). Changes made by other programs are announced once they
// have settled.
class SettingsFile : public QObject {
    Q_OBJECT
public:
    enum class State { Missing, Read, Unreadable, NotRegular };
    struct Contents {
        State state;
        std::optional<SettingsText> text; // when Read
        QString why;                      // when Unreadable or NotRegular
    };

    explicit SettingsFile(QString path, QObject* parent = nullptr);

    const QString& path() const { return path_; }
    Contents read();
    // Replaces the file with bytes; the reason when that failed, the file then
    // as it was. keepAside keeps the old file under another name.
    std::optional<QString> replace(const QByteArray& bytes, bool keepAside);
    // Forgets a change notice not yet announced (the file is read now anyway).
    void dropPendingChange() { settle_.stop(); }

signals:
    void changedByOthers();

private:
    void watch();
    std::optional<QString> replaceKeepingAside(const QByteArray& bytes);

    QString path_;
    QFileSystemWatcher watcher_;
    QTimer settle_;
};
