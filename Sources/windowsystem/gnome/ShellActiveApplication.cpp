#include "windowsystem/gnome/ShellActiveApplication.h"

#include "windowsystem/gnome/ShellCompanion.h"

#include <QFileInfo>

ShellActiveApplication::ShellActiveApplication(ShellCompanion& companion,
                                               std::unique_ptr<ActiveApplication> x11)
    : companion_(companion), x11_(std::move(x11)) {
    QObject::connect(&companion_, &ShellCompanion::focusChanged, &context_,
                     [this] { notifyChange(); });
    QObject::connect(&companion_, &ShellCompanion::presenceChanged, &context_,
                     [this] { notifyChange(); });
    x11_->setChangeHandler([this] {
        if (!companion_.isPresent())
            notifyChange();
    });
}

ShellActiveApplication::~ShellActiveApplication() = default;

QString ShellActiveApplication::activeDesktopEntry() {
    if (!companion_.isPresent())
        return x11_->activeDesktopEntry();
    // The shell knows the installed entries by id; an entry the list names by
    // path is told by its file name.
    const QString id = companion_.focus().application;
    for (const QString& path : listedPaths_) {
        if (!id.isEmpty() && QFileInfo(path).fileName() == id)
            return path;
    }
    return id;
}

void ShellActiveApplication::setListedDesktopFiles(const QStringList& paths) {
    listedPaths_ = paths;
    x11_->setListedDesktopFiles(paths);
}

bool ShellActiveApplication::activeIsFullScreenOn(const QRect& deviceScreen) {
    if (!companion_.isPresent())
        return x11_->activeIsFullScreenOn(deviceScreen);
    // Xwayland's pixels are the shell's own (its X screen is the shell's
    // layout), so the monitor compares with the screen directly.
    const ShellCompanion::Focus& focus = companion_.focus();
    return focus.fullScreen && (deviceScreen.isNull() || focus.monitor.intersects(deviceScreen));
}
