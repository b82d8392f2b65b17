#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

// "Start at login": an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/org.quorvel.Quorvel.desktop. Its presence is the
// whole state, so an entry made or removed by hand (or by a desktop's own
// startup-applications tool) shows as it is.
class AutostartEntry : public QObject {
    Q_OBJECT
public:
    explicit AutostartEntry(QObject* parent = nullptr);
    // For tests: the autostart directory to use.
    explicit AutostartEntry(QString directory, QObject* parent = nullptr);

    QString filePath() const;
    bool isEnabled() const;
    // Writes or removes the entry; false (with a log line) when that failed,
    // and then problem() says why until the next change works.
    bool setEnabled(bool enabled);
    QString problem() const { return problem_; }

    // The entry's text, starting the program at `program`.
    static QByteArray entryText(const QString& program);
    // `program` written as the Exec key's one argument.
    static QString execArgument(const QString& program);

signals:
    void changed();

private:
    void watch();

    QString directory_;
    QString problem_;
    QFileSystemWatcher watcher_;
};
