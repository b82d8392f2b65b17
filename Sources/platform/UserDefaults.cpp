#include "UserDefaults.h"

#include "SettingsText.h"
#include "SystemLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>

#include <climits>
#include <cmath>

namespace {

UserDefaults* installedStandard = nullptr;

enum class ReadResult { Missing, Read, Unreadable };

ReadResult readSettingsFile(const QString& path, std::optional<SettingsText>& text, QString& why) {
    QFile file(path);
    if (!file.exists())
        return ReadResult::Missing;
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
        return ReadResult::Unreadable;
    }
    text = SettingsText::parse(file.readAll(), &why);
    return text ? ReadResult::Read : ReadResult::Unreadable;
}

bool isListType(const QVariant& value) {
    return value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList;
}

// A list's entries as the file spells them: split at ';', trimmed, empty ones
// left out (the ';' that ends the last entry leaves one).
QStringList listEntries(const QString& text, int* emptyEntries = nullptr) {
    QStringList entries;
    const QStringList parts = text.split(u';');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString entry = parts[i].trimmed();
        if (!entry.isEmpty())
            entries << entry;
        else if (emptyEntries && i + 1 < parts.size())
            ++*emptyEntries;
    }
    return entries;
}

} // namespace

UserDefaults::UserDefaults(QString filePath, QObject* parent)
    : QObject(parent), filePath_(std::move(filePath)) {
    load(false);
    // Editors save by writing a new file and renaming it over the old one, which
    // drops the file from a watch; the directory watch sees those too.
    reloadDelay_.setSingleShot(true);
    reloadDelay_.setInterval(100);
    connect(&reloadDelay_, &QTimer::timeout, this, [this] { load(true); });
    connect(&watcher_, &QFileSystemWatcher::fileChanged, &reloadDelay_, qOverload<>(&QTimer::start));
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, &reloadDelay_,
            qOverload<>(&QTimer::start));
}

UserDefaults& UserDefaults::standardUserDefaults() {
    if (!installedStandard)
        installedStandard = new UserDefaults(defaultFilePath());
    return *installedStandard;
}

void UserDefaults::setStandardUserDefaults(UserDefaults* defaults) { installedStandard = defaults; }

QString UserDefaults::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quorvel/Quorvel.conf");
}

void UserDefaults::watchFile() {
    const QFileInfo info(filePath_);
    QDir().mkpath(info.absolutePath());
    if (!watcher_.directories().contains(info.absolutePath()))
        watcher_.addPath(info.absolutePath());
    if (info.exists() && !watcher_.files().contains(info.absoluteFilePath()))
        watcher_.addPath(info.absoluteFilePath());
}

void UserDefaults::load(bool reportChange) {
    watchFile();
    std::optional<SettingsText> text;
    QString why;
    switch (readSettingsFile(filePath_, text, why)) {
    case ReadResult::Missing:
    case ReadResult::Read: {
        unreadable_ = false;
        reportedUnreadable_ = false;
        const QMap<QString, QString> values = text ? text->values() : QMap<QString, QString>();
        lineProblems_ = text ? text->problems() : QStringList();
        const bool changed = values != stored_;
        stored_ = values;
        reportProblems();
        if (changed && reportChange)
            emit didChange();
        return;
    }
    case ReadResult::Unreadable:
        // At start this means running on the defaults; later it keeps the last
        // values that could be read. Either way the file stays as it is.
        unreadable_ = true;
        if (!reportedUnreadable_) {
            reportedUnreadable_ = true;
            systemLog(QStringLiteral("The settings file %1 cannot be read (%2); %3. It is left as it "
                                     "is until a setting is saved, and then kept beside the new one.")
                          .arg(filePath_, why,
                               reportChange ? QStringLiteral("keeping the settings read before")
                                            : QStringLiteral("using the default settings")));
        }
        return;
    }
}

void UserDefaults::reloadNow() {
    reloadDelay_.stop();
    load(true);
}

void UserDefaults::reportOnce(const QString& tag, const QString& message) const {
    if (warned_.contains(tag))
        return;
    warned_.insert(tag);
    systemLog(message);
}

// Lines that cannot be read and keys that are not settings are each reported
// once while they stay in the file; everything else in it is used.
void UserDefaults::reportProblems() const {
    for (const QString& problem : lineProblems_)
        reportOnce(u'#' + problem,
                   QStringLiteral("The settings file %1: %2; the line is ignored.").arg(filePath_, problem));
    if (registered_.isEmpty())
        return;
    for (auto it = stored_.cbegin(); it != stored_.cend(); ++it) {
        if (!registered_.contains(it.key()))
            reportOnce(it.key(), QStringLiteral("The settings file %1 holds \"%2\", which is not a "
                                                "setting; it is kept in the file and ignored.")
                                     .arg(filePath_, it.key()));
    }
}

void UserDefaults::registerDefaults(const QVariantMap& values) {
    // Lists are string lists, whichever way they were registered, so that a
    // stored list and a registered one compare alike.
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        registered_.insert(it.key(), isListType(it.value()) ? QVariant(it.value().toStringList())
                                                            : it.value());
    reportProblems();
}

void UserDefaults::reportUnusable(const QString& key, const QString& text) const {
    reportOnce(key + u'=' + text,
               QStringLiteral("The setting \"%1\" holds an unusable value (%2); using the default.")
                   .arg(key, text));
}

QVariant UserDefaults::objectForKey(const QString& key) const {
    const QVariant fallback = registered_.value(key);
    const auto stored = stored_.constFind(key);
    if (stored == stored_.cend())
        return fallback;
    if (!fallback.isValid())
        return *stored; // no registered type to read it with: plain text
    if (isListType(fallback)) {
        // One bad entry costs only itself.
        int empty = 0;
        QStringList usable;
        for (const QString& entry : listEntries(*stored, &empty)) {
            if (validator_ && !validator_(key, entry))
                reportOnce(key + u'[' + entry,
                           QStringLiteral("The setting \"%1\" holds an unusable entry (%2); it is "
                                          "skipped.")
                               .arg(key, entry));
            else
                usable << entry;
        }
        if (empty > 0)
            reportOnce(key + u'[',
                       QStringLiteral("The setting \"%1\" holds %2 empty entries; they are skipped.")
                           .arg(key)
                           .arg(empty));
        return usable;
    }
    const auto converted = fromStoredText(*stored, fallback);
    if (!converted || (validator_ && !validator_(key, *converted))) {
        reportUnusable(key, *stored);
        return fallback;
    }
    return *converted;
}

bool UserDefaults::boolForKey(const QString& key) const { return objectForKey(key).toBool(); }
int UserDefaults::integerForKey(const QString& key) const { return objectForKey(key).toInt(); }
float UserDefaults::floatForKey(const QString& key) const { return objectForKey(key).toFloat(); }
QString UserDefaults::stringForKey(const QString& key) const {
    return objectForKey(key).toString();
}
QStringList UserDefaults::stringArrayForKey(const QString& key) const {
    return objectForKey(key).toStringList();
}

bool UserDefaults::setObject(const QVariant& value, const QString& key) {
    return setObjects({{key, value}});
}

QStringList UserDefaults::storedListEntries(const QString& key) {
    reloadNow();
    const auto stored = stored_.constFind(key);
    return stored != stored_.cend() ? listEntries(*stored) : registered_.value(key).toStringList();
}

bool UserDefaults::appendListEntries(const QString& key, const QStringList& entries) {
    return setObject(storedListEntries(key) + entries, key);
}

bool UserDefaults::removeListEntry(const QString& key, int index) {
    QStringList entries = storedListEntries(key);
    // index counts the usable entries, as stringArrayForKey() lists them.
    for (qsizetype i = 0, usable = 0; i < entries.size(); ++i) {
        if (validator_ && !validator_(key, entries[i]))
            continue;
        if (usable++ == index) {
            entries.removeAt(i);
            return setObject(entries, key);
        }
    }
    return false;
}

bool UserDefaults::setObjects(const QVariantMap& values) {
    // Start from the file as it is now, so that edits made by hand since the
    // last read are kept, and so are its comments, unknown keys and sections.
    std::optional<SettingsText> text;
    QString why;
    if (readSettingsFile(filePath_, text, why) == ReadResult::Unreadable || !text) {
        text = SettingsText::parse({});
        for (auto it = stored_.cbegin(); it != stored_.cend(); ++it)
            text->setValue(it.key(), it.value());
    }
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        text->setValue(it.key(), toStoredText(it.value()));

    bool written = true;
    if (unreadable_ && QFileInfo::exists(filePath_)) {
        const QString backup =
            filePath_ + QStringLiteral(".unreadable-") +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
        if (QFile::rename(filePath_, backup)) {
            systemLog(QStringLiteral("The unreadable settings file was kept as %1.").arg(backup));
        } else {
            systemLog(QStringLiteral("Cannot keep the unreadable settings file %1 aside; "
                                     "the new settings are not saved.")
                          .arg(filePath_));
            written = false;
        }
    }
    if (written) {
        QDir().mkpath(QFileInfo(filePath_).absolutePath());
        QSaveFile file(filePath_);
        written = file.open(QIODevice::WriteOnly) && file.write(text->toBytes()) >= 0 &&
                  file.commit();
        if (!written)
            systemLog(QStringLiteral("Cannot save the settings to %1: %2")
                          .arg(filePath_, file.errorString()));
    }
    if (written) {
        unreadable_ = false;
        reportedUnreadable_ = false;
    }
    stored_ = text->values();
    lineProblems_ = text->problems();
    reportProblems();
    watchFile();
    reloadDelay_.stop(); // our own write is not someone else's change
    emit didChange();
    return written;
}

QString UserDefaults::toStoredText(const QVariant& value) {
    QString text;
    switch (value.typeId()) {
    case QMetaType::Bool:
        text = value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        // The shortest text that reads back as the same number: 0.1, not
        // 0.10000000000000001.
        text = QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
        break;
    case QMetaType::QStringList:
    case QMetaType::QVariantList:
        // Desktop-entry style: every element followed by ';'.
        for (const QString& element : value.toStringList())
            text += QString(element).remove(u';').trimmed() + u';';
        break;
    default:
        text = value.toString();
    }
    text.remove(u'\n');
    text.remove(u'\r');
    return text;
}

std::optional<QVariant> UserDefaults::fromStoredText(const QString& text, const QVariant& like) {
    bool ok = false;
    switch (like.typeId()) {
    case QMetaType::Bool: {
        // Whatever people write for yes and no; Quorvel itself writes true/false.
        const QString word = text.toLower();
        if (word == u"true" || word == u"yes" || word == u"on" || word == u"1")
            return true;
        if (word == u"false" || word == u"no" || word == u"off" || word == u"0")
            return false;
        return std::nullopt;
    }
    case QMetaType::Int:
    case QMetaType::LongLong: {
        if (const int v = text.toInt(&ok); ok)
            return v;
        // "3.0" is a whole number too; "2.5" is not.
        const double v = text.toDouble(&ok);
        if (!ok || !std::isfinite(v) || v != std::trunc(v) || v < INT_MIN || v > INT_MAX)
            return std::nullopt;
        return int(v);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double v = text.toDouble(&ok);
        return ok && std::isfinite(v) ? std::optional<QVariant>(v) : std::nullopt;
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList:
        return listEntries(text);
    default:
        return text;
    }
}
