#pragma once

#include "TestSupport.h"
#include "app/MainInterface.h"
#include "app/QVController.h"
#include "graphs/CPUGraphView.h"
#include "graphs/NetGraphView.h"
#include "preferences/PrefWindow.h"
#include "session/DesktopEntries.h"
#include "settings/DefaultsController.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"
#include "statwindow/FloatingWindow.h"
#include "windowsystem/ActiveApplication.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

// An active application the test sets, reporting its changes as X11 does. A
// window can also be given by what X11 tells of it; it is then matched to its
// desktop entry as on X11.
class FakeActiveApplication : public ActiveApplication {
public:
    QString activeDesktopEntry() override { return active; }
    bool activeIsFullScreenOn(const QRect&) override { return fullScreen; }
    void setListedDesktopFiles(const QStringList& paths) override { entries.setListedFiles(paths); }
    void activate(const QString& entry) {
        active = entry;
        notifyChange();
    }
    void activateWindow(const WindowIdentity& window) { activate(entries.idForWindow(window)); }

    QString active;
    bool fullScreen = false;
    DesktopEntries entries;
};

// Quorvel's objects as the program assembles them, launched, on the offscreen
// platform, with settings in a temporary file and an active application the
// test sets.
class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        NetGraphView::setHelperPath(QStringLiteral(QUORVEL_BINARY_DIR "/quorvel-netstat"));
        ui = MainInterface::load(settings.defaults(), nullptr);
        ASSERT_TRUE(ui);
        ui->controller().activeApplication = &front;
    }
    void TearDown() override {
        ui.reset();
        NetGraphView::setHelperPath({});
    }
    void launch() { ui->controller().applicationDidFinishLaunching(); }
    QVController& controller() { return ui->controller(); }
    UserDefaults& defaults() { return settings.defaults(); }

    // Whether the stat window is out of sight once the changes reported are
    // decided on.
    bool hiddenNow() {
        QCoreApplication::processEvents();
        return controller().isHidden();
    }

    TestSettings settings;
    FakeActiveApplication front;
    std::unique_ptr<MainInterface> ui;
};
