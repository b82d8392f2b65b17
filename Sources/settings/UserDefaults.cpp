#include "settings/UserDefaults.h"

#include "session/SystemLog.h"
#include "settings/StoredValue.h"

#include <QStandardPaths>

namespace {

UserDefaults* installedStandard = nullptr;

// How many of a file's problems are reported one by one; the rest are counted
// in one line, so that a file of garbage does not flood the log.
constexpr int reportedProblems = 5;

// After a failed save, how long until the unsaved changes are tried again.
constexpr int saveRetryMs = 30'000;

} // namespace

UserDefaults::UserDefaults(QString filePath, QObject* parent)
    : QObject(parent), file_(std::move(filePath)) {
    load(false);
    connect(&file_, &SettingsFile::changedByOthers, this, [this] { load(true); });
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

void UserDefaults::load(bool reportChange) {
    const SettingsFile::Contents contents = file_.read();
    const std::optional<SettingsText>& text = contents.text;
    if (contents.state == SettingsFile::State::Missing ||
        contents.state == SettingsFile::State::Read) {
        unreadable_ = false;
        reportedUnreadable_ = false;
        QMap<QString, QString> values = text ? text->values() : QMap<QString, QString>();
        // What could not be saved yet stays what the program uses.
        for (auto it = unsaved_.cbegin(); it != unsaved_.cend(); ++it)
            values.insert(it.key(), it.value());
        lineProblems_ = text ? text->problems() : QStringList();
        const bool changed = values != stored_;
        stored_ = values;
        read_.clear();
        reportProblems();
        if (changed && reportChange)
            emit didChange();
        return;
    }
    // At start this means running on the defaults; later it keeps the last
    // values that could be read. Either way the file stays as it is.
    unreadable_ = contents.state == SettingsFile::State::Unreadable;
    if (reportedUnreadable_)
        return;
    reportedUnreadable_ = true;
    const QString using_ = reportChange ? QStringLiteral("keeping the settings read before")
                                        : QStringLiteral("using the default settings");
    const QString& why = contents.why;
    if (contents.state == SettingsFile::State::NotRegular)
        systemLog(QStringLiteral("The settings file %1 is not read (%2); %3. It is left alone, and "
                                 "settings are not saved while it is there.")
                      .arg(file_.path(), why, using_));
    else
        systemLog(QStringLiteral("The settings file %1 cannot be read (%2); %3. It is left as it "
                                 "is until a setting is saved, and then kept beside the new one.")
                      .arg(file_.path(), why, using_));
}

void UserDefaults::reloadNow() {
    file_.dropPendingChange();
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
                                     .arg(file_.path(), problem)});
    if (!registered_.isEmpty())
        for (auto it = stored_.cbegin(); it != stored_.cend(); ++it)
            if (!registered_.contains(it.key()) && !unsaved_.contains(it.key()) &&
                !warned_.contains(it.key()))
                fresh.append(
                    {it.key(), QStringLiteral("The settings file %1 holds \"%2\", which is not a "
                                              "setting; it is kept in the file and ignored.")
                                   .arg(file_.path(), it.key())});
    const qsizetype count = fresh.size();
    for (qsizetype i = 0; i < count; ++i) {
        warned_.insert(fresh[i].tag);
        if (i < reportedProblems)
            systemLog(fresh[i].message);
    }
    if (count > reportedProblems)
        systemLog(QStringLiteral("The settings file %1: %2 more lines are ignored, unreported.")
                      .arg(file_.path())
                      .arg(count - reportedProblems));
}

void UserDefaults::registerDefaults(const QVariantMap& values) {
    // Lists are string lists, whichever way they were registered, so that a
    // stored list and a registered one compare alike.
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        registered_.insert(it.key(), StoredValue::isList(it.value())
                                         ? QVariant(it.value().toStringList())
                                         : it.value());
    read_.clear();
    reportProblems();
}

void UserDefaults::reportUnusable(const QString& key, const QString& text) const {
    reportOnce(key + u'=' + text,
               QStringLiteral("The setting \"%1\" holds an unusable value (%2); using the default.")
                   .arg(key, text));
}

QVariant UserDefaults::objectForKey(const QString& key) const {
    const auto known = read_.constFind(key);
    if (known != read_.cend())
        return *known;
    const QVariant value = readObject(key);
    read_.insert(key, value);
    return value;
}

QVariant UserDefaults::readObject(const QString& key) const {
    const QVariant fallback = registered_.value(key);
    const auto stored = stored_.constFind(key);
    if (stored == stored_.cend())
        return fallback;
    if (!fallback.isValid())
        return *stored; // no registered type to read it with: plain text
    if (StoredValue::isList(fallback)) {
        // One bad entry costs only itself.
        int empty = 0;
        QStringList usable;
        for (const QString& entry : StoredValue::listEntries(*stored, &empty)) {
            if (!isUsable(key, entry))
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
    const auto converted = StoredValue::fromText(*stored, fallback);
    if (!converted || !isUsable(key, *converted)) {
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

std::optional<QString> UserDefaults::storedText(const QString& key) const {
    const auto stored = stored_.constFind(key);
    return stored != stored_.cend() ? std::optional<QString>(*stored) : std::nullopt;
}

bool UserDefaults::isUsable(const QString& key, const QVariant& value) const {
    return !validator_ || validator_(key, value);
}

bool UserDefaults::setObjects(const QVariantMap& values) {
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        unsaved_.insert(it.key(), StoredValue::toText(it.value()));
    const bool saved = saveUnsaved();
    emit didChange();
    return saved;
}

bool UserDefaults::saveUnsaved() {
    // Start from the file as it is now, so that edits made by hand since the
    // last read are kept, and so are its comments, unknown keys and sections.
    SettingsFile::Contents contents = file_.read();
    std::optional<SettingsText>& text = contents.text;
    if (!text) {
        text = SettingsText::parse({});
        for (auto it = stored_.cbegin(); it != stored_.cend(); ++it)
            text->setValue(it.key(), it.value());
    }
    for (auto it = unsaved_.cbegin(); it != unsaved_.cend(); ++it)
        text->setValue(it.key(), it.value());

    const std::optional<QString> failure =
        file_.replace(text->toBytes(), contents.state == SettingsFile::State::Unreadable);

    stored_ = text->values();
    read_.clear();
    lineProblems_ = text->problems();
    if (failure) {
        // The changes stay in memory and are tried again, in a while or with
        // the next change, whichever comes first.
        if (*failure != saveProblem_)
            systemLog(QStringLiteral("Cannot save the settings to %1 (%2); the changes are kept "
                                     "and saved as soon as that works.")
                          .arg(file_.path(), *failure));
        saveProblem_ = *failure;
        retrySave_.start();
        return false;
    }
    unsaved_.clear();
    unreadable_ = false;
    reportedUnreadable_ = false;
    retrySave_.stop();
    if (!saveProblem_.isEmpty())
        systemLog(QStringLiteral("The settings are saved to %1 again.").arg(file_.path()));
    saveProblem_.clear();
    reportProblems();
    return true;
}
