#include "app/ApplicationRunner.h"

#include "app/ApplicationInfo.h"
#include "app/CommandLine.h"
#include "app/MainInterface.h"
#include "app/QVController.h"
#include "session/SingleCopy.h"
#include "session/SystemLog.h"
#include "session/TerminationSignals.h"
#include "settings/UserDefaults.h"
#include "windowsystem/WindowSystem.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSessionManager>
#include <QTimer>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Plain Wayland lets no client place its window, keep it above others or let
// clicks through; XWayland does, so prefer it wherever it is there (unless the
// stat window is a layer surface).
void preferX11() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace

int runApplication(int argc, char** argv) {
    // A file-size limit makes a write that crosses it fail (the settings stay
    // as they were, a log line sent to a file is lost) instead of ending the
    // program; the first such write may be the first log line.
    std::signal(SIGXFSZ, SIG_IGN);
    // Answered before anything needs a display.
    const ApplicationInfo& info = ApplicationInfo::main();
    if (const auto answer = answerCommandLine(std::vector<std::string>(argv, argv + argc),
                                              "quorvel", info.version.toStdString())) {
        std::fputs(answer->text.c_str(), stdout);
        return answer->exitStatus;
    }
    const QString runtimeDirectory = SingleCopy::runtimeDirectory();
    // Chosen before Qt picks its own platform. The Xwayland and X11 choices
    // need Qt on xcb. With the Wayland one, Qt takes its own choice for a
    // Wayland session (its Wayland plugin where installed, else xcb): the
    // preferences are then native windows, and the screens have the
    // compositor's output names, which "Screen" and the layer surface share.
    // It lives until the application object and every window have gone.
    const std::unique_ptr<WindowSystem::Started> windowSystem = WindowSystem::start();
    if (windowSystem->kind() != WindowSystem::Kind::Wayland)
        preferX11();
    // The stat window is small and repainted once a second. Through shared
    // memory each paint costs Qt a round trip to the X server (it waits until
    // the server has read the previous image) and a wake-up of its event
    // thread; sending the few kilobytes over the socket costs less.
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(info.name);
    QApplication::setApplicationDisplayName(info.name);
    QApplication::setApplicationVersion(info.version);
    QApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));
    QApplication::setQuitOnLastWindowClosed(false);

    // The texts of the program and of Qt's own dialogs in the user's language.
    QTranslator own, qt;
    if (own.load(QLocale(), QStringLiteral("quorvel"), QStringLiteral("_"),
                 QStringLiteral(":/i18n")))
        QApplication::installTranslator(&own);
    if (qt.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qt);

    std::unique_ptr<SingleCopy> singleCopy;
    if (runtimeDirectory.isEmpty())
        systemLog(QStringLiteral("No private runtime directory; not checking for another copy."));
    else
        singleCopy = std::make_unique<SingleCopy>(runtimeDirectory);
    // Decided before the settings are read, so that nothing in the settings
    // file can keep a second start from handing over to the running copy.
    if (singleCopy && !singleCopy->claim())
        return singleCopy->handOverToRunningCopy() ? 0 : 1;

    auto ui = MainInterface::load(UserDefaults::standardUserDefaults(), singleCopy.get());
    if (!ui)
        return 0; // the running copy has been asked to reopen
    QVController& controller = ui->controller();

    // Taken over before the socket appears: whoever sees it may end the copy
    // at once, and that end must be the orderly one.
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::terminationRequested, &app,
                     &QCoreApplication::quit);
    if (singleCopy) {
        QObject::connect(singleCopy.get(), &SingleCopy::reopenRequested, &controller,
                         &QVController::applicationShouldHandleReopen);
        singleCopy->listen();
    }

    // Logging out: nothing to save (settings are written as they change), and
    // the program ends with the session.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [](QSessionManager& manager) {
        manager.setRestartHint(QSessionManager::RestartNever);
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &controller,
                     &QVController::applicationWillTerminate);

    QTimer::singleShot(0, &controller, &QVController::applicationDidFinishLaunching);
    // For the tests of the termination signals: the main thread stops for
    // good, as one stuck in a read of a hung file system would.
    if (qEnvironmentVariableIsSet("QUORVEL_TEST_STALL_MAIN_THREAD"))
        QTimer::singleShot(0, [] {
            for (;;)
                ::pause();
        });
    return QApplication::exec();
}
