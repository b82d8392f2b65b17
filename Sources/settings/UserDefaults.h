#pragma once

// settings/: the user's settings. The file on disk (SettingsFile), its text
// kept line by line (SettingsText), the typed settings read from it and saved
// to it (UserDefaults, with StoredValue's spelling and ListEdits' entry-wise
// edits), the keys and their defaults (SettingsKeys), the pending edits of the
// preferences (DefaultsController) and the colour codec.

#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include "settings/SettingsFile.h"
#include <QVariant>

#include <functional>

// The user's settings: a flat map from key to value, kept in an INI file in the
// XDG config directory, with a registration domain of default values that answers
// for every key the user has not set.
//
// Values are bool, int, double, QString or QStringList. The file stores them as
// text (StoredValue); a stored value is read back with the type of the key's
// registered default.
// A stored value that does not convert, or that the validator rejects, reads as
// the registered default and is reported once; in a list only the bad entry is
// skipped. Lines of the file that cannot be read and keys that are not settings
// are reported once and ignored. Reading never writes the file, and a write
// changes only the lines of the keys it writes (see SettingsText).
//
// A file that is not text at all is left alone: the program runs on the
// defaults, says so once, and only when a setting is saved moves the file aside
// (Quorvel.conf.unreadable-<time>) before writing a new one. Something that is
// not a regular file (a FIFO, a directory) is never opened nor written over.
//
// Changes of the file by other programs are picked up and reported through
// didChange(), like the program's own writes.
class UserDefaults : public QObject {
    Q_OBJECT
public:
    using Validator = std::function<bool(const QString& key, const QVariant& value)>;

    explicit UserDefaults(QString filePath, QObject* parent = nullptr);

    // The instance the whole program uses; created on first use at
    // $XDG_CONFIG_HOME/Quorvel/Quorvel.conf unless one was installed.
    static UserDefaults& standardUserDefaults();
    static void setStandardUserDefaults(UserDefaults* defaults);
    static QString defaultFilePath();

    void registerDefaults(const QVariantMap& values);
    void setValidator(Validator validator) {
        validator_ = std::move(validator);
        read_.clear();
    }

    QVariant objectForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    int integerForKey(const QString& key) const;
    float floatForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    QStringList stringArrayForKey(const QString& key) const;

    // Each call is one write of the file and one didChange(). Returns false when
    // the file could not be written: then the file is as it was, the values
    // hold for this session, and they are saved with the next save that works
    // (another change, or a retry a little later).
    bool setObject(const QVariant& value, const QString& key);
    bool setObjects(const QVariantMap& values);

    // The key's text as the file (or an unsaved change) has it, unconverted.
    std::optional<QString> storedText(const QString& key) const;
    QVariant registeredValue(const QString& key) const { return registered_.value(key); }
    // Whether the validator takes value for key.
    bool isUsable(const QString& key, const QVariant& value) const;

    // Reads the file now instead of at the next change notice.
    void reloadNow();

    QString filePath() const { return file_.path(); }
    bool fileIsUnreadable() const { return unreadable_; }
    // Why the last save failed; empty once a save worked.
    QString saveProblem() const { return saveProblem_; }
    // How long after a failed save the changes are tried again (30 s; shorter
    // in tests).
    void setSaveRetryInterval(int milliseconds) { retrySave_.setInterval(milliseconds); }

signals:
    void didChange();

private:
    void load(bool reportChange);
    QVariant readObject(const QString& key) const;
    void watchFile();
    void reportUnusable(const QString& key, const QString& text) const;
    void reportOnce(const QString& tag, const QString& message) const;
    void reportProblems() const;
    bool saveUnsaved();

    SettingsFile file_;
    QVariantMap registered_;
    QMap<QString, QString> stored_;  // the file's values as text, with unsaved_ on top
    QMap<QString, QString> unsaved_; // changes no save has managed to write yet
    QString saveProblem_;
    QTimer retrySave_;
    QStringList lineProblems_; // the file's lines that cannot be read
    bool unreadable_ = false;
    bool reportedUnreadable_ = false;
    Validator validator_;
    mutable QSet<QString> warned_; // what was reported already
    // What objectForKey() answered, until the values, defaults or validator
    // change: the graphs read their colours at every tick.
    mutable QHash<QString, QVariant> read_;
};
