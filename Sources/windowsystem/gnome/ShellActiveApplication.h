#pragma once

#include "windowsystem/ActiveApplication.h"

#include <QObject>

#include <memory>

class ShellCompanion;

// The active application on GNOME through Xwayland: as the GNOME Shell
// companion reports it (native windows included) while it is there, as X11
// tells it otherwise.
class ShellActiveApplication : public ActiveApplication {
public:
    ShellActiveApplication(ShellCompanion& companion, std::unique_ptr<ActiveApplication> x11);
    ~ShellActiveApplication() override;

    QString activeDesktopEntry() override;
    void setListedDesktopFiles(const QStringList& paths) override;
    bool activeIsFullScreenOn(const QRect& deviceScreen) override;

private:
    ShellCompanion& companion_;
    std::unique_ptr<ActiveApplication> x11_;
    QStringList listedPaths_;
    // Ends the connections to the companion with this object.
    QObject context_;
};
