#include "UserDefaults.h"

#include "SettingsText.h"
#include "SystemLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>

namespace {

UserDefaults* installedStandard = nullptr;

enum class ReadResult { Missing, Read, Unreadable };

ReadResult readSettingsFile(const QString& path, QMap<QString, QString>& values, QString& why) {
    QFile file(path);
    if (!file.exists())
        return ReadResult::Missing;
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
        return ReadResult::Unreadable;
    }
    const auto parsed = parseSettingsText(file.readAll(), &why);
    if (!parsed)
        return ReadResult::Unreadable;
    values = *parsed;
    return ReadResult::Read;
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
    QMap<QString, QString> values;
    QString why;
    switch (readSettingsFile(filePath_, values, why)) {
    case ReadResult::Missing:
    case ReadResult::Read:
        unreadable_ = false;
        reportedUnreadable_ = false;
        if (values != stored_) {
            stored_ = values;
            warned_.clear();
            if (reportChange)
                emit didChange();
        }
        return;
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

void UserDefaults::registerDefaults(const QVariantMap& values) {
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        registered_.insert(it.key(), it.value());
}

void UserDefaults::reportUnusable(const QString& key, const QString& text) const {
    const QString tag = key + u'=' + text;
    if (warned_.contains(tag))
        return;
    warned_.insert(tag);
    systemLog(QStringLiteral("The setting \"%1\" holds an unusable value (%2); using the default.")
                  .arg(key, text));
}

QVariant UserDefaults::objectForKey(const QString& key) const {
    const QVariant fallback = registered_.value(key);
    const auto stored = stored_.constFind(key);
    if (stored == stored_.cend())
        return fallback;
    if (!fallback.isValid())
        return *stored; // no registered type to read it with: plain text
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

bool UserDefaults::setObjects(const QVariantMap& values) {
    // Start from what is on disk now, so that edits made by hand since the last
    // read are kept.
    QMap<QString, QString> next;
    QString why;
    if (readSettingsFile(filePath_, next, why) == ReadResult::Unreadable)
        next = stored_;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        next.insert(it.key(), toStoredText(it.value()));

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
        written = file.open(QIODevice::WriteOnly) &&
                  file.write(formatSettingsText(next)) >= 0 && file.commit();
        if (!written)
            systemLog(QStringLiteral("Cannot save the settings to %1: %2")
                          .arg(filePath_, file.errorString()));
    }
    if (written) {
        unreadable_ = false;
        reportedUnreadable_ = false;
    }
    stored_ = next;
    warned_.clear();
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
        text = QString::number(value.toDouble(), 'g', 17);
        break;
    case QMetaType::QStringList:
    case QMetaType::QVariantList:
        // Desktop-entry style: every element followed by ';'.
        for (const QString& element : value.toStringList())
            text += QString(element).remove(u';') + u';';
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
    case QMetaType::Bool:
        if (text == u"true" || text == u"1")
            return true;
        if (text == u"false" || text == u"0")
            return false;
        return std::nullopt;
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const int v = text.toInt(&ok);
        return ok ? std::optional<QVariant>(v) : std::nullopt;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double v = text.toDouble(&ok);
        return ok && std::isfinite(v) ? std::optional<QVariant>(v) : std::nullopt;
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        QStringList list = text.split(u';');
        if (list.last().isEmpty())
            list.removeLast();
        return list;
    }
    default:
        return text;
    }
}
