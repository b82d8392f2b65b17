#include "DesktopEntries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

namespace {

// The program a desktop entry's Exec line starts: the first word, past any
// "env VAR=value" prefix, without its directory.
QString programOfExec(const QString& exec) {
    const QStringList words = exec.split(u' ', Qt::SkipEmptyParts);
    qsizetype i = 0;
    if (i < words.size() && QFileInfo(words[i]).fileName() == u"env") {
        ++i;
        while (i < words.size() && words[i].contains(u'='))
            ++i;
    }
    if (i >= words.size())
        return {};
    QString program = words[i];
    program.remove(u'"');
    return QFileInfo(program).fileName();
}

} // namespace

std::optional<DesktopEntry> parseDesktopEntry(const QString& text, const QString& locale) {
    DesktopEntry entry;
    const QString language = locale.section(u'_', 0, 0);
    QString nameForLocale, nameForLanguage;
    const QString localeKey = QStringLiteral("Name[%1]").arg(locale);
    const QString languageKey = QStringLiteral("Name[%1]").arg(language);
    bool inEntryGroup = false;
    bool sawGroup = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inEntryGroup = line == u"[Desktop Entry]";
            sawGroup = sawGroup || inEntryGroup;
            continue;
        }
        if (!inEntryGroup)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QStringView key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed().toString();
        if (key == u"Name")
            entry.name = value;
        else if (!locale.isEmpty() && key == localeKey)
            nameForLocale = value;
        else if (!language.isEmpty() && key == languageKey)
            nameForLanguage = value;
        else if (key == u"Icon")
            entry.icon = value;
        else if (key == u"StartupWMClass")
            entry.startupWMClass = value;
        else if (key == u"Exec")
            entry.exec = value;
    }
    if (!sawGroup || entry.name.isEmpty())
        return std::nullopt;
    if (!nameForLocale.isEmpty())
        entry.name = nameForLocale;
    else if (!nameForLanguage.isEmpty())
        entry.name = nameForLanguage;
    return entry;
}

DesktopEntries::DesktopEntries(QObject* parent)
    : DesktopEntries(standardApplicationDirectories(), QLocale().name(), parent) {}

DesktopEntries::DesktopEntries(QStringList applicationDirectories, QString locale, QObject* parent)
    : QObject(parent), directories_(std::move(applicationDirectories)), locale_(std::move(locale)) {
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { stale_ = true; });
}

QStringList DesktopEntries::standardApplicationDirectories() {
    // GenericDataLocation lists $XDG_DATA_HOME first, then $XDG_DATA_DIRS.
    QStringList directories;
    for (const QString& base : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        directories << base + QStringLiteral("/applications");
    return directories;
}

void DesktopEntries::rebuildIfNeeded() {
    if (!stale_)
        return;
    stale_ = false;
    entries_.clear();
    if (!watcher_.directories().isEmpty())
        watcher_.removePaths(watcher_.directories());
    for (const QString& directory : std::as_const(directories_)) {
        const QDir root(directory);
        if (!root.exists())
            continue;
        QStringList watched{directory};
        QDirIterator it(directory, {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext()) {
            const QString path = it.next();
            // The id is the path below applications/ with '/' turned into '-'.
            QString id = root.relativeFilePath(path);
            id.replace(u'/', u'-');
            if (entries_.contains(id))
                continue;
            const QString dir = it.fileInfo().absolutePath();
            if (!watched.contains(dir))
                watched << dir;
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly) || file.size() > 1 << 20)
                continue;
            if (auto entry = parseDesktopEntry(QString::fromUtf8(file.readAll()), locale_)) {
                entry->id = id;
                entry->path = path;
                entries_.insert(id, *entry);
            }
        }
        watcher_.addPaths(watched);
    }
}

const DesktopEntry* DesktopEntries::entry(const QString& id) {
    rebuildIfNeeded();
    const auto it = entries_.constFind(id);
    return it == entries_.cend() ? nullptr : &*it;
}

QString DesktopEntries::idForWindow(const WindowIdentity& window) {
    rebuildIfNeeded();
    auto existing = [this](const QString& name) -> QString {
        if (name.isEmpty())
            return {};
        const QString id = name.endsWith(u".desktop") ? name : name + QStringLiteral(".desktop");
        return entries_.contains(id) ? id : QString();
    };
    if (QString id = existing(window.kdeDesktopFile); !id.isEmpty())
        return id;
    if (QString id = existing(window.gtkApplicationId); !id.isEmpty())
        return id;
    for (const QString& wmName : {window.wmInstance, window.wmClass}) {
        if (wmName.isEmpty())
            continue;
        for (const DesktopEntry& entry : std::as_const(entries_))
            if (entry.startupWMClass.compare(wmName, Qt::CaseInsensitive) == 0)
                return entry.id;
    }
    for (const QString& wmName : {window.wmInstance, window.wmClass}) {
        if (QString id = existing(wmName); !id.isEmpty())
            return id;
        if (QString id = existing(wmName.toLower()); !id.isEmpty())
            return id;
    }
    if (!window.executable.isEmpty()) {
        for (const DesktopEntry& entry : std::as_const(entries_))
            if (programOfExec(entry.exec) == window.executable)
                return entry.id;
    }
    return {};
}
