#include "ApplicationRunner.h"

#include "../MainInterface.h"
#include "../QVController.h"
#include "SingleCopy.h"
#include "SystemLog.h"
#include "TerminationSignals.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QSessionManager>
#include <QTimer>

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "0"
#endif

namespace {

// Plain Wayland lets no client place its window, keep it above others or let
// clicks through; XWayland does, so prefer it wherever it is there.
void preferX11() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace

int runApplication(int argc, char** argv) {
    preferX11();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quorvel"));
    QApplication::setQuitOnLastWindowClosed(false);

    const QString runtimeDirectory = SingleCopy::runtimeDirectory();
    std::unique_ptr<SingleCopy> singleCopy;
    if (runtimeDirectory.isEmpty())
        systemLog(QStringLiteral("No private runtime directory; not checking for another copy."));
    else
        singleCopy = std::make_unique<SingleCopy>(runtimeDirectory);

    auto ui = MainInterface::load(UserDefaults::standardUserDefaults(), singleCopy.get());
    if (!ui)
        return 0; // the running copy has been asked to reopen
    QVController& controller = ui->controller();

    if (singleCopy) {
        QObject::connect(singleCopy.get(), &SingleCopy::reopenRequested, &controller,
                         &QVController::applicationShouldHandleReopen);
        singleCopy->listen();
    }

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::terminationRequested, &app,
                     &QCoreApplication::quit);
    // Logging out: nothing to save (settings are written as they change), and
    // the program ends with the session.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                     [](QSessionManager& manager) { manager.setRestartHint(QSessionManager::RestartNever); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &controller,
                     &QVController::applicationWillTerminate);

    QTimer::singleShot(0, &controller, &QVController::applicationDidFinishLaunching);
    return QApplication::exec();
}
