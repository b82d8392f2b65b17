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

#include <QApplication>
#include <QMenu>

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
    QObject::connect(menu.addAction(QObject::tr("Preferences…")), &QAction::triggered, &controller,
                     &QVController::showPrefWindow);
    QObject::connect(menu.addAction(QObject::tr("About Quorvel")), &QAction::triggered, &controller,
                     &QVController::showAboutPanel);
    menu.addSeparator();
    QObject::connect(menu.addAction(QObject::tr("Quit Quorvel")), &QAction::triggered, qApp,
                     &QCoreApplication::quit);

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
