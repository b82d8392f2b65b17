#include "app/QVController.h"

#include "app/ApplicationInfo.h"
#include "app/StatWindowGraphs.h"
#include "graphs/GPUGraphView.h"
#include "graphs/GraphView.h"
#include "graphs/TempGraphView.h"
#include "preferences/ColorWell.h"
#include "preferences/PrefWindow.h"
#include "remote/PrometheusFleet.h"
#include "remote/RemoteHost.h"
#include "session/DesktopEntries.h"
#include "session/SingleCopy.h"
#include "session/SystemLog.h"
#include "session/WorkingSet.h"
#include "settings/DefaultsController.h"
#include "settings/ListEdits.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"
#include "statwindow/FloatingWindow.h"
#include "statwindow/StatWindowHiding.h"
#include "statwindow/StatWindowLayout.h"
#include "windowsystem/ActiveApplication.h"
#include "windowsystem/WindowSystem.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>

QVController::QVController(UserDefaults& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults), graphs_(std::make_unique<StatWindowGraphs>(defaults)) {
    graphs_->setRegroupHandler([this] {
        if (statWindow)
            _setupStatWindow();
    });
}

// The graphs belong to the stat window's widget tree only while they are in it;
// the controller owns them (through graphs_).
QVController::~QVController() {
    GraphView::setSampleTickHandler({});
    delete statusItem_;
}

bool QVController::init(SingleCopy* singleCopy) {
    if (singleCopy && !singleCopy->claim()) {
        singleCopy->handOverToRunningCopy();
        return false;
    }
    SettingsKeys::registerDefaultDefaults(defaults_);
    return true;
}

void QVController::applicationDidFinishLaunching() {
    defaultController->setAppliesImmediately(false);
    statWindow->setIgnoresMouseEvents(true);
    _setupStatusMenu();
    _setupStatWindow();
    if (!statWindowEmpty_)
        statWindow->orderFront();
    connect(&defaults_, &UserDefaults::didChange, this, &QVController::_userDefaultsDidChange);
    // The shared colour panel shows alpha; it is made that way when first
    // needed (ColorWell::sharedColorPanel), not at launch.
    loadAutoHideList(true);

    connect(qApp, &QGuiApplication::primaryScreenChanged, this, [this] {
        watchPrimaryScreen();
        applicationDidChangeScreenParameters();
    });
    connect(qApp, &QGuiApplication::screenAdded, this,
            &QVController::applicationDidChangeScreenParameters);
    // Once the screen is gone from the list of screens, so that a chosen
    // screen that was unplugged is no longer found.
    connect(qApp, &QGuiApplication::screenRemoved, this,
            &QVController::applicationDidChangeScreenParameters, Qt::QueuedConnection);
    watchPrimaryScreen();

    hiding_ = new StatWindowHiding(defaults_, *statWindow, activeApplication, this);
    connect(hiding_, &StatWindowHiding::mayHaveChanged, this, &QVController::_pollTimerHandler);
    GraphView::setSampleTickHandler([this] { hiding_->lookAtRestingPointer(); });
    launched_ = true;
    updatePolling();
    releaseCodeLater();
}

// Two seconds after start (the window is up and painted by then) and after the
// preferences close, once their code has run, its pages go back to the system;
// steady state keeps only its own. The pages the steady state uses come back
// at the next ticks, a one-time cost best paid early.
void QVController::releaseCodeLater() {
    if (!codeRelease_) {
        codeRelease_ = new QTimer(this);
        codeRelease_->setSingleShot(true);
        codeRelease_->setInterval(2000);
        connect(codeRelease_, &QTimer::timeout, this, [] { WorkingSet::releaseUnusedCode(); });
    }
    codeRelease_->start();
}

// The decision depends on the pointer only while "AutoHide" is on.
// Everything else it depends on (the active application, the settings, the
// auto-hide list, the window's place) reports its changes, and the decision is
// made again then.
void QVController::updatePolling() {
    if (!hiding_)
        return;
    hiding_->followAutoHide();
    _pollTimerHandler();
}

// The screen "Screen" names while it is connected, else the primary one: the
// window goes there when the named screen is unplugged and comes back when it
// returns (screens coming and going set the window up again).
QScreen* QVController::statWindowScreen() const {
    const QString name = defaults_.stringForKey(SettingsKeys::Screen);
    if (!name.isEmpty())
        for (QScreen* screen : QGuiApplication::screens())
            if (screen->name() == name)
                return screen;
    return QGuiApplication::primaryScreen();
}

void QVController::watchPrimaryScreen() {
    if (watchedScreen_)
        watchedScreen_->disconnect(this);
    watchedScreen_ = statWindowScreen();
    if (!watchedScreen_)
        return;
    connect(watchedScreen_, &QScreen::geometryChanged, this,
            &QVController::applicationDidChangeScreenParameters);
    connect(watchedScreen_, &QScreen::availableGeometryChanged, this,
            &QVController::applicationDidChangeScreenParameters);
}

NetGraphView* QVController::netView() const {
    return graphs_->netView();
}
MemGraphView* QVController::memView() const {
    return graphs_->memView();
}
DiskGraphView* QVController::diskView() const {
    return graphs_->diskView();
}
TempGraphView* QVController::tempView() const {
    return graphs_->tempView();
}
const std::vector<std::unique_ptr<RemoteHost>>& QVController::remoteHosts() const {
    return graphs_->remoteHosts();
}

const std::vector<std::unique_ptr<PrometheusFleet>>& QVController::fleets() const {
    return graphs_->fleets();
}
const QList<CPUGraphView*>& QVController::cpuViews() const {
    return graphs_->cpuViews();
}

// No helper outlives the program.
void QVController::applicationWillTerminate() {
    graphs_->takeOutAll();
}

bool QVController::applicationShouldHandleReopen() {
    showPrefWindow();
    return false;
}

void QVController::applicationDidChangeScreenParameters() {
    _setupStatWindow();
    if (launched_)
        _pollTimerHandler(); // the window moved; the pointer may now be on it
}

void QVController::_userDefaultsDidChange() {
    loadAutoHideList(false);
    _setupStatWindow();
    updatePolling();
}

// The list follows the settings file, edits made there by hand included, so an
// add or remove in the preferences never writes an old copy over them.
void QVController::loadAutoHideList(bool always) {
    const QStringList list = defaults_.stringArrayForKey(SettingsKeys::AutoHideApplications);
    if (!always && list == autoHideAppArray_)
        return;
    autoHideAppArray_ = list;
    QStringList listedFiles;
    for (const QString& entry : list)
        if (entry.startsWith(u'/'))
            listedFiles << entry;
    if (desktopEntries)
        desktopEntries->setListedFiles(listedFiles);
    if (activeApplication)
        activeApplication->setListedDesktopFiles(listedFiles);
    emit autoHideListChanged();
}

bool QVController::windowShouldClose() {
    defaultController->save();
    _setupStatusMenu();
    ColorWell::hideSharedColorPanel();
    if (launched_)
        releaseCodeLater();
    return true;
}

void QVController::_setupStatWindow() {
    QScreen* screen = statWindowScreen();
    // The work area is the screen less the panels the desktop keeps clear
    // (_NET_WORKAREA on X11). Without a screen the graphs wait in one row.
    const QRectF workArea = screen ? QRectF(screen->availableGeometry()) : QRectF(0, 0, 1e6, 1e6);
    const StatWindowGraphs::Arrangement shown =
        graphs_->arrange(statWindow->contentView(), workArea);

    if (!screen)
        return;
    if (screen != watchedScreen_)
        watchPrimaryScreen(); // the chosen screen came, went or was chosen
    statWindow->setScreenName(screen->name());
    const QRectF frame =
        StatWindowLayout::statWindowFrame(workArea, shown.graphs, shown.columns,
                                          defaults_.integerForKey(SettingsKeys::WindowPosition));

    if (frame.isNull()) {
        // No graph to show: the window stays out of sight until one comes back.
        statWindowEmpty_ = true;
        statWindow->orderOut();
        return;
    }
    statWindow->setFrame(frame.toRect());
    // Drawn at the pixel ratio of the screen the window is on.
    for (GraphView* view :
         statWindow->contentView()->findChildren<GraphView*>(Qt::FindDirectChildrenOnly))
        view->setScreenRatio(screen->devicePixelRatio());
    if (statWindowEmpty_) {
        statWindowEmpty_ = false;
        if (launched_ && !isHidden_)
            statWindow->orderFront();
    }
}

void QVController::_pollTimerHandler() {
    const bool shouldHide = hiding_ && hiding_->shouldHide(autoHideAppArray_);
    if (shouldHide == isHidden_)
        return;
    isHidden_ = shouldHide;
    if (shouldHide)
        statWindow->orderOutWithFade();
    else if (!statWindowEmpty_)
        statWindow->orderFrontWithFade();
}

void QVController::_setupStatusMenu() {
    if (defaults_.boolForKey(SettingsKeys::ShowIconOnMenuBar))
        _showStatusMenu();
    else
        _hideStatusMenu();
}

void QVController::_showStatusMenu() {
    if (statusItem_)
        return;
    statusItem_ = new QSystemTrayIcon(QIcon(QStringLiteral(":/StatusBarIcon.svg")));
    statusItem_->setToolTip(QStringLiteral("Quorvel"));
    statusItem_->setContextMenu(statusMenu);
    // A left click opens the same menu, as a right click does.
    connect(statusItem_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && statusMenu)
                    statusMenu->popup(QCursor::pos());
            });
    statusItem_->show();
}

void QVController::_hideStatusMenu() {
    if (!statusItem_)
        return;
    statusItem_->hide();
    delete std::exchange(statusItem_, nullptr);
}

void QVController::showPrefWindow() {
    _showStatusMenu();
    // The sensors there are now (a module may have been loaded since), looked
    // for only when they are offered, not at every start.
    if (auto* window = qobject_cast<PrefWindow*>(prefWindow)) {
        QStringList sensorIds;
        for (const TemperatureSensor& sensor : TempGraphView::sensors())
            sensorIds << sensor.id;
        window->setTemperatureSensors(sensorIds);
        // NVIDIA's GPUs are known once the graph has loaded their library;
        // the preferences do not load it themselves.
        const std::vector<GPUDevice> gpus = graphs_->gpuView()
                                                ? graphs_->gpuView()->devices()
                                                : GPUDevices(GPUGraphView::drmRoot(), {}).list();
        PrefWindow::Choices gpuChoices;
        for (const GPUDevice& gpu : gpus)
            gpuChoices.append({gpu.id, QStringLiteral("%1 (%2)").arg(gpu.title, gpu.id)});
        window->setGPUs(gpuChoices, GPUDevices::anyReadable(GPUGraphView::drmRoot()));
    }
    prefWindow->show();
    prefWindow->raise();
    prefWindow->activateWindow();
}

void QVController::applyPrefChanges() {
    defaultController->save();
}

void QVController::revertPrefChanges() {
    defaultController->revert();
}

void QVController::showAboutPanel() {
    const ApplicationInfo& info = ApplicationInfo::main();
    if (!aboutPanel_) {
        aboutPanel_ =
            new QMessageBox(QMessageBox::NoIcon, tr("About %1").arg(info.name),
                            QStringLiteral("<h3>%1 %2</h3><p>%3</p><p><small>%4</small></p>")
                                .arg(info.name.toHtmlEscaped(), info.version.toHtmlEscaped(),
                                     info.credits.toHtmlEscaped(), info.copyright.toHtmlEscaped()),
                            QMessageBox::Ok);
        aboutPanel_->setAttribute(Qt::WA_DeleteOnClose);
        aboutPanel_->setIconPixmap(QIcon(QStringLiteral(":/StatusBarIcon.svg")).pixmap(64, 64));
        aboutPanel_->setModal(false);
    }
    aboutPanel_->show();
    aboutPanel_->raise();
    aboutPanel_->activateWindow();
}

void QVController::addAutoHideApp() {
    if (openPanel_) {
        openPanel_->raise();
        return;
    }
    openPanel_ =
        new QFileDialog(prefWindow, tr("Choose Applications"),
                        QStringLiteral("/usr/share/applications"), tr("Applications (*.desktop)"));
    openPanel_->setAttribute(Qt::WA_DeleteOnClose);
    openPanel_->setFileMode(QFileDialog::ExistingFiles);
    openPanel_->setAcceptMode(QFileDialog::AcceptOpen);
    openPanel_->setWindowModality(Qt::WindowModal);
    QFileDialog* panel = openPanel_;
    connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        _didEndOpenSheet(panel->selectedFiles(), result == QDialog::Accepted ? okButton : 0);
    });
    panel->open();
}

void QVController::_didEndOpenSheet(const QStringList& chosenPaths, int returnCode) {
    if (returnCode != okButton || chosenPaths.isEmpty())
        return;
    // Running applications are known by their desktop-file ids; a file from
    // outside the applications folders is kept by its path.
    QStringList entries;
    for (const QString& path : chosenPaths)
        entries << (desktopEntries ? desktopEntries->idForFile(path) : QFileInfo(path).fileName());
    ListEdits::append(defaults_, SettingsKeys::AutoHideApplications, entries);
    _pollTimerHandler();
}

void QVController::removeAutoHideApp() {
    const int row = appTable ? appTable->currentIndex().row() : -1;
    if (row < 0 || row >= autoHideAppArray_.size())
        return; // the remove button is disabled without a selection
    const QString title = tr("Remove Application");
    const QString defaultButton = tr("Cancel");
    const QString alternateButton = tr("Yes");
    const QString format = tr("Remove %@?");
    QString message = format;
    message.replace(QStringLiteral("%@"), displayName(autoHideAppArray_[row]));

    auto* alert =
        new QMessageBox(QMessageBox::Question, title, message, QMessageBox::NoButton, prefWindow);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    QPushButton* cancel = alert->addButton(defaultButton, QMessageBox::RejectRole);
    QPushButton* yes = alert->addButton(alternateButton, QMessageBox::AcceptRole);
    alert->setDefaultButton(cancel);
    alert->setEscapeButton(cancel);
    removeAlert_ = alert;
    connect(alert, &QMessageBox::finished, this, [this, alert, yes] {
        _didEndRemoveAleartSheet(alert->clickedButton() == yes ? alertAlternateReturn
                                                               : alertDefaultReturn);
    });
    alert->open();
}

void QVController::_didEndRemoveAleartSheet(int returnCode) {
    if (returnCode == alertDefaultReturn)
        return;
    const int row = appTable ? appTable->currentIndex().row() : -1;
    if (row < 0 || row >= autoHideAppArray_.size())
        return;
    ListEdits::removeEntry(defaults_, SettingsKeys::AutoHideApplications, row);
    _pollTimerHandler();
}

int QVController::numberOfRowsInTableView() const {
    return int(autoHideAppArray_.size());
}

QString QVController::displayName(const QString& entry) const {
    const DesktopEntry* desktopEntry = desktopEntries ? desktopEntries->entry(entry) : nullptr;
    // An entry whose desktop file is gone still shows its file name, so that
    // it can be recognised and removed.
    return desktopEntry ? desktopEntry->name : entry;
}

QVariant QVController::tableViewObjectValue(const QString& columnIdentifier, int row) const {
    if (row < 0 || row >= autoHideAppArray_.size())
        return {};
    const QString& entry = autoHideAppArray_[row];
    if (columnIdentifier == u"appIcon") {
        const DesktopEntry* desktopEntry = desktopEntries ? desktopEntries->entry(entry) : nullptr;
        QIcon icon;
        if (desktopEntry && !desktopEntry->icon.isEmpty())
            icon = QFileInfo(desktopEntry->icon).isAbsolute()
                       ? QIcon(desktopEntry->icon)
                       : QIcon::fromTheme(desktopEntry->icon);
        if (icon.isNull())
            icon = QIcon::fromTheme(QStringLiteral("application-x-executable"));
        return icon;
    }
    if (columnIdentifier == u"appName")
        return displayName(entry);
    return {};
}
