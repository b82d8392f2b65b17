#pragma once

// app/: the application and its wiring. The command line, the start of the
// program (one copy, the window system, Qt), the assembly of the windows and
// the menu (MainInterface), and the controller that ties the graphs, the stat
// window, the tray icon, the preferences and the settings together.

#include "preferences/PrefWindowDelegate.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

class ActiveApplication;
class CPUGraphView;
class DefaultsController;
class DesktopEntries;
class FloatingWindow;
class HoverWatch;
class DiskGraphView;
class GraphView;
class MemGraphView;
class TempGraphView;
class RemoteHost;
class NetGraphView;
class QMenu;
class QScreen;
class QSystemTrayIcon;
class QTableView;
class QTimer;
class QWidget;
class SingleCopy;
class UserDefaults;

// Ties Quorvel together: keeps it to one copy, registers the default settings,
// assembles the stat window from the graphs the settings ask for and places it
// in its corner, fades it away while the pointer rests on it or a listed
// application is in front, owns the tray icon, and runs the preferences and the
// auto-hide list.
class QVController : public QObject, public PrefWindowDelegate {
    Q_OBJECT
public:
    explicit QVController(UserDefaults& defaults, QObject* parent = nullptr);
    ~QVController() override;

    // Ends the start when another copy runs (after asking it to reopen), then
    // registers the default settings. False means: this copy must quit now.
    bool init(SingleCopy* singleCopy);

    // Outlets, set once by the main interface before launching finishes.
    FloatingWindow* statWindow = nullptr;
    QWidget* prefWindow = nullptr;
    DefaultsController* defaultController = nullptr;
    QMenu* statusMenu = nullptr;
    QTableView* appTable = nullptr;
    ActiveApplication* activeApplication = nullptr;
    DesktopEntries* desktopEntries = nullptr;

    // Application events.
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    bool applicationShouldHandleReopen();
    void applicationDidChangeScreenParameters();
    void _userDefaultsDidChange();
    bool windowShouldClose() override;

    // Stat window.
    void _setupStatWindow();
    // Decides again whether the stat window should be out of sight (pointer,
    // listed application, full screen) and fades it out or in; called whenever
    // something the decision depends on may have changed.
    void _pollTimerHandler();

    // Tray icon.
    void _setupStatusMenu();
    void _showStatusMenu();
    void _hideStatusMenu();
    QSystemTrayIcon* statusItem() const { return statusItem_; }

    // Actions.
    void showPrefWindow();
    void applyPrefChanges() override;
    void revertPrefChanges() override;
    void showAboutPanel();
    void addAutoHideApp() override;
    void _didEndOpenSheet(const QStringList& chosenPaths, int returnCode);
    void removeAutoHideApp() override;
    void _didEndRemoveAleartSheet(int returnCode);

    // The auto-hide table's data.
    int numberOfRowsInTableView() const override;
    QVariant tableViewObjectValue(const QString& columnIdentifier, int row) const override;

    // State, for the tests and the assembly.
    const QStringList& autoHideAppArray() const { return autoHideAppArray_; }
    bool isHidden() const { return isHidden_; }
    NetGraphView* netView() const { return netView_; }
    MemGraphView* memView() const { return memView_; }
    DiskGraphView* diskView() const { return diskView_; }
    TempGraphView* tempView() const { return tempView_; }
    // At most this many other machines are shown (each is four graphs).
    static constexpr int maxRemoteHosts = 8;
    const std::vector<std::unique_ptr<RemoteHost>>& remoteHosts() const { return remoteHosts_; }
    const QList<CPUGraphView*>& cpuViews() const { return cpuViews_; }
    bool hasCPUViews() const { return hasCPUViews_; }
    QMessageBox* removeAlert() const { return removeAlert_; }
    QFileDialog* openPanel() const { return openPanel_; }
    QMessageBox* aboutPanel() const { return aboutPanel_; }

    // Return codes of the two dialogs, as the callbacks receive them.
    static constexpr int okButton = 1;
    static constexpr int alertDefaultReturn = 1;   // "Cancel"
    static constexpr int alertAlternateReturn = 0; // "Yes"

signals:
    // The auto-hide list changed and the table should show it again.
    void autoHideListChanged();

private:
    // The other machines' graphs, in the window and in their order.
    QList<GraphView*> placeRemoteHosts(QWidget* contentView);
    QScreen* statWindowScreen() const;
    // Follows the geometry of the stat window's screen.
    void watchPrimaryScreen();
    void updatePolling();
    void releaseCodeLater();
    void loadAutoHideList(bool always);
    QString displayName(const QString& entry) const;

    UserDefaults& defaults_;
    QSystemTrayIcon* statusItem_ = nullptr;
    QTimer* codeRelease_ = nullptr;
    HoverWatch* hover_ = nullptr;
    QList<CPUGraphView*> cpuViews_;
    bool hasCPUViews_ = false;
    int processorsShown_ = 0;
    NetGraphView* netView_ = nullptr;
    MemGraphView* memView_ = nullptr;
    DiskGraphView* diskView_ = nullptr;
    TempGraphView* tempView_ = nullptr;
    std::vector<std::unique_ptr<RemoteHost>> remoteHosts_;
    QStringList autoHideAppArray_;
    bool isHidden_ = false;
    bool statWindowEmpty_ = false;
    bool launched_ = false;
    QPointer<QScreen> watchedScreen_;
    QPointer<QMessageBox> removeAlert_;
    QPointer<QFileDialog> openPanel_;
    QPointer<QMessageBox> aboutPanel_;
};
