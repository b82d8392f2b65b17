#include "settings/UserDefaults.h"

#include "session/RegularFile.h"
#include "session/SystemLog.h"
#include "settings/SettingsText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

#include <climits>
#include <cmath>

#include <unistd.h>

namespace {

UserDefaults* installedStandard = nullptr;

enum class ReadResult { Missing, Read, Unreadable, NotRegular };

ReadResult readSettingsFile(const QString& path, std::optional<SettingsText>& text, QString& why) {
    RegularFile::ReadResult file = RegularFile::read(path);
    why = file.error;
    switch (file.status) {
    case RegularFile::ReadStatus::Missing:
        return ReadResult::Missing;
    case RegularFile::ReadStatus::NotRegular:
        return ReadResult::NotRegular;
    case RegularFile::ReadStatus::Read:
        text = SettingsText::parse(file.bytes, &why);
        return text ? ReadResult::Read : ReadResult::Unreadable;
    case RegularFile::ReadStatus::TooLarge:
    case RegularFile::ReadStatus::Failed:
        break;
    }
    return ReadResult::Unreadable;
}

// How many of a file's problems are reported one by one; the rest are counted
// in one line, so that a file of garbage does not flood the log.
constexpr int reportedProblems = 5;

// After a failed save, how long until the unsaved changes are tried again.
constexpr int saveRetryMs = 30'000;

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
    connect(&watcher_, &QFileSystemWatcher::fileChanged, &reloadDelay_,
            qOverload<>(&QTimer::start));
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, &reloadDelay_,
            qOverload<>(&QTimer::start));
    // Changes a save could not write are tried again a while later, until a
    // save works.
    retrySave_.setSingleShot(true);
    retrySave_.setInterval(saveRetryMs);
    connect(&retrySave_, &QTimer::timeout, this, [this] {
        saveUnsaved();
        emit didChange();
    });
}

UserDefaults& UserDefaults::standardUserDefaults() {
    if (!installedStandard)
        installedStandard = new UserDefaults(defaultFilePath());
    return *installedStandard;
}

void UserDefaults::setStandardUserDefaults(UserDefaults* defaults) {
    installedStandard = defaults;
}

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
    const ReadResult result = readSettingsFile(filePath_, text, why);
    if (result == ReadResult::Missing || result == ReadResult::Read) {
        unreadable_ = false;
        reportedUnreadable_ = false;
        QMap<QString, QString> values = text ? text->values() : QMap<QString, QString>();
        // What could not be saved yet stays what the program uses.
        for (auto it = unsaved_.cbegin(); it != unsaved_.cend(); ++it)
            values.insert(it.key(), it.value());
        lineProblems_ = text ? text->problems() : QStringList();
        const bool changed = values != stored_;
        stored_ = values;
        reportProblems();
        if (changed && reportChange)
            emit didChange();
        return;
    }
    // At start this means running on the defaults; later it keeps the last
    // values that could be read. Either way the file stays as it is.
    unreadable_ = result == ReadResult::Unreadable;
    if (reportedUnreadable_)
        return;
    reportedUnreadable_ = true;
    const QString using_ = reportChange ? QStringLiteral("keeping the settings read before")
                                        : QStringLiteral("using the default settings");
    if (result == ReadResult::NotRegular)
        systemLog(QStringLiteral("The settings file %1 is not read (%2); %3. It is left alone, and "
                                 "settings are not saved while it is there.")
                      .arg(filePath_, why, using_));
    else
        systemLog(QStringLiteral("The settings file %1 cannot be read (%2); %3. It is left as it "
                                 "is until a setting is saved, and then kept beside the new one.")
                      .arg(filePath_, why, using_));
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
// once while they stay in the file, the first few one by one and the rest in
// one line; everything else in the file is used.
void UserDefaults::reportProblems() const {
    struct Problem {
        QString tag, message;
    };
    QList<Problem> fresh;
    for (const QString& problem : lineProblems_)
        if (!warned_.contains(u'#' + problem))
            fresh.append(
                {u'#' + problem, QStringLiteral("The settings file %1: %2; the line is ignored.")
                                     .arg(filePath_, problem)});
    if (!registered_.isEmpty())
        for (auto it = stored_.cbegin(); it != stored_.cend(); ++it)
            if (!registered_.contains(it.key()) && !unsaved_.contains(it.key()) &&
                !warned_.contains(it.key()))
                fresh.append(
                    {it.key(), QStringLiteral("The settings file %1 holds \"%2\", which is not a "
                                              "setting; it is kept in the file and ignored.")
                                   .arg(filePath_, it.key())});
    const qsizetype count = fresh.size();
    for (qsizetype i = 0; i < count; ++i) {
        warned_.insert(fresh[i].tag);
        if (i < reportedProblems)
            systemLog(fresh[i].message);
    }
    if (count > reportedProblems)
        systemLog(QStringLiteral("The settings file %1: %2 more lines are ignored, unreported.")
                      .arg(filePath_)
                      .arg(count - reportedProblems));
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
            reportOnce(
                key + u'[',
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

bool UserDefaults::boolForKey(const QString& key) const {
    return objectForKey(key).toBool();
}
int UserDefaults::integerForKey(const QString& key) const {
    return objectForKey(key).toInt();
}
float UserDefaults::floatForKey(const QString& key) const {
    return objectForKey(key).toFloat();
}
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
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        unsaved_.insert(it.key(), toStoredText(it.value()));
    const bool saved = saveUnsaved();
    emit didChange();
    return saved;
}

bool UserDefaults::saveUnsaved() {
    // Start from the file as it is now, so that edits made by hand since the
    // last read are kept, and so are its comments, unknown keys and sections.
    std::optional<SettingsText> text;
    QString why;
    const ReadResult read = readSettingsFile(filePath_, text, why);
    if (!text) {
        text = SettingsText::parse({});
        for (auto it = stored_.cbegin(); it != stored_.cend(); ++it)
            text->setValue(it.key(), it.value());
    }
    for (auto it = unsaved_.cbegin(); it != unsaved_.cend(); ++it)
        text->setValue(it.key(), it.value());

    // Something that is not a regular file in the file's place is refused by
    // the replacement itself, and left as it is.
    QDir().mkpath(QFileInfo(filePath_).absolutePath());
    const std::optional<QString> failure = read == ReadResult::Unreadable
                                               ? replaceKeepingUnreadable(text->toBytes())
                                               : RegularFile::replace(filePath_, text->toBytes());

    stored_ = text->values();
    lineProblems_ = text->problems();
    watchFile();
    reloadDelay_.stop(); // our own write is not someone else's change
    if (failure) {
        // The changes stay in memory and are tried again, in a while or with
        // the next change, whichever comes first.
        if (*failure != saveProblem_)
            systemLog(QStringLiteral("Cannot save the settings to %1 (%2); the changes are kept "
                                     "and saved as soon as that works.")
                          .arg(filePath_, *failure));
        saveProblem_ = *failure;
        retrySave_.start();
        return false;
    }
    unsaved_.clear();
    unreadable_ = false;
    reportedUnreadable_ = false;
    retrySave_.stop();
    if (!saveProblem_.isEmpty())
        systemLog(QStringLiteral("The settings are saved to %1 again.").arg(filePath_));
    saveProblem_.clear();
    reportProblems();
    return true;
}

// The file that cannot be read is kept beside the new one. A second name for
// it (a hard link, which takes no room on a full disk) is made first, so that
// a save that fails leaves it where it was.
std::optional<QString> UserDefaults::replaceKeepingUnreadable(const QByteArray& bytes) {
    const QString backup = filePath_ + QStringLiteral(".unreadable-") +
                           QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    const QByteArray original = QFile::encodeName(filePath_);
    const QByteArray kept = QFile::encodeName(backup);
    const bool linked = ::link(original.constData(), kept.constData()) == 0;
    if (!linked && ::rename(original.constData(), kept.constData()) != 0)
        return QStringLiteral("the unreadable file cannot be kept aside as %1").arg(backup);
    const auto failure = RegularFile::replace(filePath_, bytes);
    if (failure) {
        if (linked)
            ::unlink(kept.constData());
        else
            ::rename(kept.constData(), original.constData());
        return failure;
    }
    systemLog(QStringLiteral("The unreadable settings file was kept as %1.").arg(backup));
    return std::nullopt;
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
