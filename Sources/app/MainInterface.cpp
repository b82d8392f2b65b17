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
#include "windowsystem/gnome/ShellExtensions.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {

// What the preferences say on GNOME while the companion is not there, and
// what its button offers.
QString companionNote(bool present, const ShellExtensions& extensions) {
    if (present)
        return {};
    const QString adds = QObject::tr("On GNOME, Quorvel's Shell companion lets clicks through to "
                                     "every window and tells Quorvel about native applications.");
    switch (extensions.state()) {
    case ShellExtensions::State::Off:
        return adds + u' ' + QObject::tr("It is installed but turned off.");
    case ShellExtensions::State::OutOfDate:
        return adds + u' ' +
               QObject::tr("The one installed is not made for this version of GNOME Shell.");
    case ShellExtensions::State::Failed:
        return adds + u' ' +
               QObject::tr("GNOME Shell could not start it: %1").arg(extensions.error());
    case ShellExtensions::State::Missing:
        return adds + u' ' +
               QObject::tr("GNOME Shell has not found it: install Quorvel's package, then log "
                           "out and in.");
    case ShellExtensions::State::Unknown:
    case ShellExtensions::State::On:
        break;
    }
    return adds + u' ' +
           QObject::tr("Turn it on with “gnome-extensions enable %1”.")
               .arg(extensions.companionUuid().isEmpty()
                        ? QString::fromLatin1(ShellExtensions::moduleFormUuid)
                        : extensions.companionUuid());
}

QString companionActionLabel(const ShellExtensions& extensions) {
    return extensions.state() == ShellExtensions::State::Off
               ? QObject::tr("&Turn on the GNOME Shell companion")
               : QString();
}

} // namespace

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
        // On GNOME, what the companion would add, for as long as it is not
        // there, and a button that turns it on where the shell has it.
        if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(u"GNOME", Qt::CaseInsensitive)) {
            auto* extensions = new ShellExtensions(QDBusConnection::sessionBus(), companion);
            auto explain = [window = ui->prefWindow_.get(), companion, extensions] {
                window->setWindowSystemNote(companionNote(companion->isPresent(), *extensions),
                                            companionActionLabel(*extensions),
                                            [extensions] { extensions->enableCompanion(); });
            };
            QObject::connect(companion, &ShellCompanion::presenceChanged, extensions,
                             [extensions, explain](bool present) {
                                 if (!present)
                                     extensions->refresh();
                                 explain();
                             });
            QObject::connect(extensions, &ShellExtensions::stateChanged, extensions, explain);
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
