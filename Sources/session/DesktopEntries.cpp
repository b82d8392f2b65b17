#include "session/DesktopEntries.h"

#include "session/RegularFile.h"

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

std::optional<DesktopEntry> readDesktopFile(const QString& path, const QString& locale) {
    // Never opened unless a regular file: a FIFO among them would hang the scan.
    const RegularFile::ReadResult file = RegularFile::read(path, 1 << 20);
    if (file.status != RegularFile::ReadStatus::Read)
        return std::nullopt;
    auto entry = parseDesktopEntry(QString::fromUtf8(file.bytes), locale);
    if (entry)
        entry->path = path;
    return entry;
}

bool sameName(const QString& a, const QString& b) {
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// Whether a window belongs to the application of a desktop file the user
// picked from outside the applications folders: by the names the file and the
// window give, or by the program.
bool windowMatches(const DesktopEntry& entry, const WindowIdentity& window) {
    const QString base = QFileInfo(entry.path).completeBaseName();
    for (const QString& name :
         {window.kdeDesktopFile, window.gtkApplicationId, window.wmInstance, window.wmClass}) {
        QString bare = name;
        if (bare.endsWith(u".desktop"))
            bare.chop(8);
        if (sameName(bare, base) || sameName(name, entry.startupWMClass))
            return true;
    }
    return !window.executable.isEmpty() && programOfExec(entry.exec) == window.executable;
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
    for (const QString& base :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
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
            if (auto entry = readDesktopFile(path, locale_)) {
                entry->id = id;
                entries_.insert(id, *entry);
            }
        }
        watcher_.addPaths(watched);
    }
    addListedFiles();
}

void DesktopEntries::addListedFiles() {
    for (const QString& path : std::as_const(listedFiles_)) {
        if (auto entry = readDesktopFile(path, locale_)) {
            entry->id = path;
            entries_.insert(path, *entry);
        }
    }
}

void DesktopEntries::setListedFiles(const QStringList& paths) {
    if (paths == listedFiles_)
        return;
    listedFiles_ = paths;
    stale_ = true;
}

QString DesktopEntries::idForFile(const QString& path) const {
    const QString file = QFileInfo(path).absoluteFilePath();
    for (const QString& directory : directories_) {
        const QString root = QDir(directory).absolutePath() + u'/';
        if (file.startsWith(root))
            return file.mid(root.size()).replace(u'/', u'-');
    }
    return file;
}

const DesktopEntry* DesktopEntries::entry(const QString& id) {
    rebuildIfNeeded();
    const auto it = entries_.constFind(id);
    return it == entries_.cend() ? nullptr : &*it;
}

QString DesktopEntries::idForWindow(const WindowIdentity& window) {
    rebuildIfNeeded();
    for (const QString& path : std::as_const(listedFiles_)) {
        const auto listed = entries_.constFind(path);
        if (listed != entries_.cend() && windowMatches(*listed, window))
            return path;
    }
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

QString programOfProcess(quint64 pid) {
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid))).fileName();
}
