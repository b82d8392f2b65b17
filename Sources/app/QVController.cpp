#include "app/QVController.h"

#include "app/ApplicationInfo.h"
#include "graphs/CPUGraphView.h"
#include "graphs/GraphView.h"
#include "graphs/MemGraphView.h"
#include "graphs/NetGraphView.h"
#include "preferences/ColorWell.h"
#include "session/DesktopEntries.h"
#include "session/SingleCopy.h"
#include "session/SystemLog.h"
#include "session/WorkingSet.h"
#include "settings/DefaultsController.h"
#include "settings/ListEdits.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"
#include "statwindow/FloatingWindow.h"
#include "statwindow/StatWindowLayout.h"
#include "windowsystem/ActiveApplication.h"
#include "windowsystem/PointerPosition.h"
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

namespace {

constexpr int pollIntervalMs = 100;
// How long the stat window stays away for a pointer that came onto it, where
// the pointer cannot be followed once it has gone: long enough to click what
// lies beneath, short enough that it is soon back.
constexpr int hoverReturnMs = 2000;

// Takes a graph out of the stat window and deletes it; taking the network
// graph out stops its helper.
template <typename View> void takeOutGraph(View*& view) {
    view->removeFromSuperview();
    delete std::exchange(view, nullptr);
}

} // namespace

QVController::QVController(UserDefaults& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults) {}

QVController::~QVController() {
    GraphView::setSampleTickHandler({});
    // The graphs belong to the stat window's widget tree only while they are in
    // it; the controller owns them.
    applicationWillTerminate();
    for (CPUGraphView* view : std::as_const(cpuViews_))
        view->removeFromSuperview();
    qDeleteAll(cpuViews_);
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

    if (statWindow->seesPointer()) {
        pointer_ = WindowSystem::makePointerPosition(this);
        connect(pointer_, &PointerPosition::moved, this, [this] {
            // Moved, even if sampling finds it where it was last seen.
            returnedAt_.reset();
            startSampling();
        });
    }
    statWindow->setPointerEntryHandler([this] { pointerCameOnWindow(); });
    hoverReturn_ = new QTimer(this);
    hoverReturn_->setSingleShot(true);
    hoverReturn_->setInterval(hoverReturnMs);
    connect(hoverReturn_, &QTimer::timeout, this, &QVController::hoverTimeIsUp);
    pollTimer_ = new QTimer(this);
    pollTimer_->setInterval(pollIntervalMs);
    connect(pollTimer_, &QTimer::timeout, this, &QVController::_pollTimerHandler);
    if (activeApplication) {
        // Reported from inside X event handling; decided once that is done.
        activeApplication->setChangeHandler([this] {
            QMetaObject::invokeMethod(this, &QVController::_pollTimerHandler, Qt::QueuedConnection);
        });
    }
    // A pointer moved by a program (a warp) gives no notice of its own; it is
    // looked at on the graphs' sampling ticks, which wake Quorvel anyway.
    GraphView::setSampleTickHandler([this] { lookAtRestingPointer(); });
    launched_ = true;
    updatePolling();
    releaseCodeLater();
}

// A few seconds after start and after the preferences close, once their code
// has run, its pages go back to the system; steady state keeps only its own.
void QVController::releaseCodeLater() {
    if (!codeRelease_) {
        codeRelease_ = new QTimer(this);
        codeRelease_->setSingleShot(true);
        codeRelease_->setInterval(5000);
        connect(codeRelease_, &QTimer::timeout, this, [] { WorkingSet::releaseUnusedCode(); });
    }
    codeRelease_->start();
}

void QVController::lookAtRestingPointer() {
    if (!pointer_ || !pollTimer_ || pollTimer_->isActive() ||
        !defaults_.boolForKey(SettingsKeys::AutoHide))
        return;
    // Two graph kinds may tick together: one look is enough.
    if (restingLook_.isValid() && restingLook_.elapsed() < 500)
        return;
    restingLook_.start();
    // Asked without waiting: the answer comes while the graphs are painted.
    pointer_->askDevicePosition([this](QPoint position) {
        if (position != lastPointer_ && pollTimer_ && !pollTimer_->isActive()) {
            startSampling();
            _pollTimerHandler();
        }
    });
}

// The decision depends on the pointer only while "AutoHide" is on, and only
// while the pointer moves: then it is sampled ten times a second. Once it has
// rested for half a second, sampling stops until the X server reports the next
// movement. Everything else the decision depends on (the active application,
// the settings, the auto-hide list, the window's place) reports its changes,
// and the decision is made again then. So a Quorvel left alone does not wake up
// for this at all.
void QVController::updatePolling() {
    if (!pollTimer_)
        return;
    if (!statWindow->seesPointer()) {
        const bool autoHide = defaults_.boolForKey(SettingsKeys::AutoHide);
        statWindow->setSensesPointer(autoHide);
        if (!autoHide) {
            pointerCameOn_ = false;
            hoverReturn_->stop();
        }
        _pollTimerHandler();
        return;
    }
    if (defaults_.boolForKey(SettingsKeys::AutoHide))
        startSampling();
    else
        pollTimer_->stop();
    _pollTimerHandler();
}

void QVController::startSampling() {
    stillTicks_ = 0;
    if (!pollTimer_->isActive())
        pollTimer_->start();
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

void QVController::applicationWillTerminate() {
    // No helper outlives the program.
    if (netView_)
        takeOutGraph(netView_);
    if (memView_)
        takeOutGraph(memView_);
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

namespace {

// A graph of its own kind in the next slot of the row while it is shown (made
// when it first is), taken out and deleted while it is not.
template <typename View>
void placeGraph(bool shown, View*& view, QWidget* contentView, int& nrView) {
    const QRect slot = StatWindowLayout::_graphRect(nrView).toRect();
    if (shown) {
        if (!view) {
            view = new View(slot);
            view->addToContentView(contentView);
        } else {
            view->setGeometry(slot);
        }
        ++nrView;
    } else if (view) {
        takeOutGraph(view);
    }
}

} // namespace

void QVController::_setupStatWindow() {
    using StatWindowLayout::_graphRect;
    QWidget* contentView = statWindow->contentView();
    const int numCPU = CPUGraphView::getCPUCount();
    int nrView = 0;

    placeGraph(defaults_.boolForKey(SettingsKeys::ShowNetGraph), netView_, contentView, nrView);
    placeGraph(defaults_.boolForKey(SettingsKeys::ShowMemGraph), memView_, contentView, nrView);

    if (defaults_.boolForKey(SettingsKeys::ShowCPUGraph)) {
        if (!hasCPUViews_) {
            hasCPUViews_ = true;
            for (int cpu = 0; cpu < numCPU; ++cpu) {
                auto* view = new CPUGraphView(_graphRect(nrView + cpu).toRect(), cpu);
                view->addToContentView(contentView);
                cpuViews_.append(view);
            }
        } else {
            // The processor count is taken as fixed while the program runs;
            // if it changed, only the views that exist are placed.
            for (int cpu = 0; cpu < cpuViews_.size(); ++cpu)
                cpuViews_[cpu]->setGeometry(_graphRect(nrView + cpu).toRect());
        }
        nrView += int(cpuViews_.size());
    } else if (hasCPUViews_) {
        for (CPUGraphView* view : std::as_const(cpuViews_))
            view->removeFromSuperview();
        qDeleteAll(std::exchange(cpuViews_, {}));
        hasCPUViews_ = false;
    }

    QScreen* screen = statWindowScreen();
    if (!screen)
        return;
    if (screen != watchedScreen_)
        watchPrimaryScreen(); // the chosen screen came, went or was chosen
    statWindow->setScreenName(screen->name());
    // The work area is the screen less the panels the desktop keeps clear
    // (_NET_WORKAREA on X11).
    const QRectF frame = StatWindowLayout::statWindowFrame(
        screen->availableGeometry(), nrView, defaults_.integerForKey(SettingsKeys::WindowPosition));

    if (frame.isNull()) {
        // No graph to show: the window stays out of sight until one comes back.
        statWindowEmpty_ = true;
        statWindow->orderOut();
        return;
    }
    statWindow->setFrame(frame.toRect());
    // Drawn at the pixel ratio of the screen the window is on.
    for (GraphView* view : contentView->findChildren<GraphView*>(Qt::FindDirectChildrenOnly))
        view->setScreenRatio(screen->devicePixelRatio());
    if (statWindowEmpty_) {
        statWindowEmpty_ = false;
        if (launched_ && !isHidden_)
            statWindow->orderFront();
    }
}

// Where the pointer cannot be followed over other windows, the stat window
// gets out of the way when the pointer comes onto it and is back a while later
// (hoverReturnMs); a pointer still there hides it again at its next movement.
// - Wayland: the window cannot see the pointer at all; it senses the pointer
//   coming onto it and lets clicks through again at once.
// - Xwayland: X sees the pointer only over X windows. Once it goes onto a
//   native window, X keeps its last position, which may be on the stat
//   window; a position that has not changed for hoverReturnMs counts as gone.
bool QVController::pointerInStatWindow() {
    if (!statWindow->seesPointer())
        return pointerCameOn_;
    // Both in device pixels, and the window where it really is: a window
    // manager may have put it elsewhere than asked.
    const QPoint pointer =
        pointer_ ? pointer_->devicePosition() : PointerPosition::qtDevicePosition();
    bool inWindow = statWindow->deviceFrame().contains(pointer);
    const bool moved = pointer != lastPointer_;
    stillTicks_ = moved ? 0 : stillTicks_ + 1;
    lastPointer_ = pointer;
    constexpr int restingTicks = 5;
    if (stillTicks_ >= restingTicks && pointer_ && pointer_->canNoticeMotion() && pollTimer_ &&
        pollTimer_->isActive()) {
        pollTimer_->stop();
        pointer_->armMotionNotice();
        // A movement between the last sample and the server taking the
        // request would go unnoticed; one more sample after it closes that gap.
        if (pointer_->devicePosition() != lastPointer_)
            startSampling();
    }
    if (WindowSystem::current() == WindowSystem::Kind::Xwayland && hoverReturn_) {
        if (returnedAt_ && pointer != *returnedAt_)
            returnedAt_.reset();
        if (returnedAt_)
            inWindow = false;
        else if (inWindow && (moved || !hoverReturn_->isActive()))
            hoverReturn_->start();
    }
    return inWindow;
}

void QVController::pointerCameOnWindow() {
    pointerCameOn_ = true;
    hoverReturn_->start();
    _pollTimerHandler();
}

void QVController::hoverTimeIsUp() {
    pointerCameOn_ = false;
    returnedAt_ = lastPointer_;
    _pollTimerHandler();
}

void QVController::_pollTimerHandler() {
    const bool autoHide = defaults_.boolForKey(SettingsKeys::AutoHide);
    const bool pointerInWindow = autoHide && pointerInStatWindow();
    const QString appName = activeApplication ? activeApplication->activeDesktopEntry() : QString();
    // Out of the way of a full-screen window in front on the stat window's
    // screen, as of a listed application.
    const bool underFullScreen =
        activeApplication && defaults_.boolForKey(SettingsKeys::HideUnderFullScreen) &&
        activeApplication->activeIsFullScreenOn(statWindow->deviceScreen());
    const bool shouldHide =
        shouldHideStatWindow(autoHide, pointerInWindow, appName, autoHideAppArray_) ||
        underFullScreen;
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
