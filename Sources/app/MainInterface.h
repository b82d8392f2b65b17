#pragma once

#include <memory>

class AutoHideTableModel;
class AutostartEntry;
class DefaultsController;
class FloatingWindow;
class PrefWindow;
class QMenu;
class QVController;
class DesktopEntries;
class SingleCopy;
class UserDefaults;
class ActiveApplication;

// Builds Quorvel's objects and connects them: the controller, the stat window,
// the preferences window with its defaults controller and auto-hide table, and
// the tray menu.
class MainInterface {
public:
    // Null when another copy runs: it has been asked to reopen, and this copy
    // should end.
    static std::unique_ptr<MainInterface> load(UserDefaults& defaults, SingleCopy* singleCopy);
    ~MainInterface();

    QVController& controller() { return *controller_; }
    FloatingWindow& statWindow() { return *statWindow_; }
    PrefWindow& prefWindow() { return *prefWindow_; }
    QMenu& statusMenu() { return *statusMenu_; }
    AutoHideTableModel& autoHideModel() { return *autoHideModel_; }

private:
    MainInterface() = default;

    std::unique_ptr<FloatingWindow> statWindow_;
    std::unique_ptr<DefaultsController> defaultController_;
    std::unique_ptr<PrefWindow> prefWindow_;
    std::unique_ptr<QMenu> statusMenu_;
    std::unique_ptr<DesktopEntries> desktopEntries_;
    std::unique_ptr<ActiveApplication> activeApplication_;
    std::unique_ptr<AutoHideTableModel> autoHideModel_;
    std::unique_ptr<AutostartEntry> autostart_;
    // Last, so that it goes first: it takes its graphs out of the stat window.
    std::unique_ptr<QVController> controller_;
};
