#pragma once

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

// What an application's desktop entry (.desktop file) says about it.
struct DesktopEntry {
    QString id;   // the desktop-file id, e.g. "org.gnome.Terminal.desktop"
    QString path; // where the file lies
    QString name; // Name, localised where the file has a translation
    QString icon; // Icon: a theme icon name or an absolute path
    QString startupWMClass;
    QString exec;
};

// Parses the [Desktop Entry] group of a desktop file. Name[xx] is preferred for
// the locale given as "ll_CC" (then "ll"). nullopt when the text has no such
// group or no Name.
std::optional<DesktopEntry> parseDesktopEntry(const QString& text, const QString& locale);

// What X11 tells about a window, for finding its desktop entry.
struct WindowIdentity {
    QString kdeDesktopFile;   // _KDE_NET_WM_DESKTOP_FILE
    QString gtkApplicationId; // _GTK_APPLICATION_ID
    QString wmInstance;       // WM_CLASS, first string
    QString wmClass;          // WM_CLASS, second string
    QString executable;       // file name of the program of _NET_WM_PID
};

// The file name of the program a running process runs (from /proc/<pid>/exe);
// empty when it is gone or not ours to see.
QString programOfProcess(quint64 pid);

// The desktop entries of $XDG_DATA_HOME/applications and
// $XDG_DATA_DIRS/*/applications, by id; an id found in an earlier directory
// hides the same id in later ones. Rebuilt when those directories change.
class DesktopEntries : public QObject {
    Q_OBJECT
public:
    explicit DesktopEntries(QObject* parent = nullptr);
    // For tests: only these application directories, in this order.
    DesktopEntries(QStringList applicationDirectories, QString locale, QObject* parent = nullptr);

    static QStringList standardApplicationDirectories();

    // An id, or the absolute path of a desktop file (see setListedFiles).
    const DesktopEntry* entry(const QString& id);
    // The id of the desktop entry of a window, matched the way desktop shells
    // match windows to entries; empty when none matches.
    QString idForWindow(const WindowIdentity& window);

    // The id of the desktop file at path: its path below the first
    // applications folder that holds it, with '/' turned into '-'
    // ("kde/foo.desktop" is "kde-foo.desktop"). A file outside every
    // applications folder has no id; it is known by its absolute path.
    QString idForFile(const QString& path) const;

    // Desktop files outside the applications folders that the user named by
    // their absolute paths. They are entries under those paths, and windows are
    // matched to them first: the user chose them for a reason.
    void setListedFiles(const QStringList& paths);

private:
    void rebuildIfNeeded();
    void addListedFiles();

    QStringList directories_;
    QStringList listedFiles_;
    QString locale_;
    QHash<QString, DesktopEntry> entries_;
    bool stale_ = true;
    QFileSystemWatcher watcher_;
};
