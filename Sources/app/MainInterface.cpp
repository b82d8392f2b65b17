#include "app/MainInterface.h"

#include "app/QVController.h"
#include "preferences/AutoHideTableModel.h"
#include "preferences/PrefWindow.h"
#include "session/AutostartEntry.h"
#include "session/DesktopEntries.h"
#include "settings/DefaultsController.h"
#include "statwindow/FloatingWindow.h"
#include "windowsystem/ActiveApplication.h"
#include "windowsystem/WindowSystem.h"
#include "windowsystem/gnome/ShellCompanion.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

std::unique_ptr<MainInterface> MainInterface::load(UserDefaults& defaults, SingleCopy* singleCopy) {
    std::unique_ptr<MainInterface> ui(new MainInterface);
    ui->controller_ = std::make_unique<QVController>(defaults);
    QVController& controller = *ui->controller_;
    if (!controller.init(singleCopy))
        return nullptr;

    ui->statWindow_ = std::make_unique<FloatingWindow>();
    ui->statWindow_->awakeFromNib();

    ui->defaultController_ = std::make_unique<DefaultsController>(defaults);
    ui->prefWindow_ = std::make_unique<PrefWindow>(*ui->defaultController_);
    ui->prefWindow_->setDelegate(&controller);

    ui->statusMenu_ = std::make_unique<QMenu>();
    QMenu& menu = *ui->statusMenu_;
    QAction* preferences = menu.addAction(QObject::tr("Preferences…"));
    QObject::connect(preferences, &QAction::triggered, &controller, &QVController::showPrefWindow);
    QAction* about = menu.addAction(QObject::tr("About Quorvel"));
    QObject::connect(about, &QAction::triggered, &controller, &QVController::showAboutPanel);
    menu.addSeparator();
    QAction* quit = menu.addAction(QObject::tr("Quit Quorvel"));
    QObject::connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);
    // On GNOME, where no tray shows the icon, the same menu from the top bar
    // (by the Shell companion); the tray, when there is one, is where it lives.
    if (ShellCompanion* companion = WindowSystem::shellCompanion()) {
        companion->setTopBarMenuWanted(!QSystemTrayIcon::isSystemTrayAvailable());
        QObject::connect(companion, &ShellCompanion::menuActivated, &menu,
                         [preferences, about, quit](const QString& action) {
                             QAction* chosen = action == u"preferences" ? preferences
                                               : action == u"about"     ? about
                                                                        : quit;
                             chosen->trigger();
                         });
        // On GNOME, what the companion would add, for as long as it is not there.
        if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(u"GNOME", Qt::CaseInsensitive)) {
            QObject::connect(
                companion, &ShellCompanion::presenceChanged, ui->prefWindow_.get(),
                [window = ui->prefWindow_.get()](bool present) {
                    window->setWindowSystemNote(
                        present ? QString()
                                : QObject::tr("On GNOME, Quorvel's Shell companion lets clicks "
                                              "through to every window and tells Quorvel about "
                                              "native applications: turn it on with "
                                              "“gnome-extensions enable %1”, then log out and in.")
                                      .arg(QString::fromLatin1(ShellCompanion::extensionUuid)));
                });
        }
    }

    ui->desktopEntries_ = std::make_unique<DesktopEntries>();
    ui->activeApplication_ = WindowSystem::makeActiveApplication();
    ui->autoHideModel_ = std::make_unique<AutoHideTableModel>(controller);
    QObject::connect(&controller, &QVController::autoHideListChanged, ui->autoHideModel_.get(),
                     &AutoHideTableModel::reloadData);
    ui->prefWindow_->setAutoHideModel(ui->autoHideModel_.get());
    ui->autostart_ = std::make_unique<AutostartEntry>();
    ui->prefWindow_->setAutostartEntry(ui->autostart_.get());

    controller.statWindow = ui->statWindow_.get();
    controller.prefWindow = ui->prefWindow_.get();
    controller.defaultController = ui->defaultController_.get();
    controller.statusMenu = ui->statusMenu_.get();
    controller.appTable = ui->prefWindow_->appTable();
    controller.desktopEntries = ui->desktopEntries_.get();
    controller.activeApplication = ui->activeApplication_.get();
    return ui;
}

MainInterface::~MainInterface() {
    controller_.reset();
}
