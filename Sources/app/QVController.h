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
class DiskGraphView;
class GraphView;
class MemGraphView;
class TempGraphView;
class PrometheusFleet;
class RemoteHost;
class NetGraphView;
class QMenu;
class QScreen;
class QSystemTrayIcon;
class QTableView;
class QTimer;
class QWidget;
class SingleCopy;
class StatWindowGraphs;
class StatWindowHiding;
class UserDefaults;

// Ties Quorvel together: keeps it to one copy, registers the default settings,
// places the stat window in its corner around the graphs the settings ask for
// (StatWindowGraphs makes and lays them out), fades it away when
// StatWindowHiding says so, owns the tray icon, and runs the preferences and
// the auto-hide list.
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
    const StatWindowGraphs& graphs() const { return *graphs_; }
    NetGraphView* netView() const;
    MemGraphView* memView() const;
    DiskGraphView* diskView() const;
    TempGraphView* tempView() const;
    const std::vector<std::unique_ptr<RemoteHost>>& remoteHosts() const;
    const std::vector<std::unique_ptr<PrometheusFleet>>& fleets() const;
    const QList<CPUGraphView*>& cpuViews() const;
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
    std::unique_ptr<StatWindowGraphs> graphs_;
    StatWindowHiding* hiding_ = nullptr;
    QStringList autoHideAppArray_;
    bool isHidden_ = false;
    bool statWindowEmpty_ = false;
    bool launched_ = false;
    QPointer<QScreen> watchedScreen_;
    QPointer<QMessageBox> removeAlert_;
    QPointer<QFileDialog> openPanel_;
    QPointer<QMessageBox> aboutPanel_;
};
