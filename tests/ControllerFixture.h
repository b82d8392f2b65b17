#pragma once

#include "CPUGraphView.h"
#include "FloatingWindow.h"
#include "MainInterface.h"
#include "NetGraphView.h"
#include "PrefWindow.h"
#include "QVController.h"
#include "SettingsKeys.h"
#include "TestSupport.h"
#include "platform/ActiveApplication.h"
#include "platform/DefaultsController.h"
#include "platform/DesktopEntries.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

// Quorvel's objects as the program assembles them, launched, on the offscreen
// platform, with settings in a temporary file.
class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        NetGraphView::setHelperPath(QStringLiteral(QUORVEL_BINARY_DIR "/quorvel-netstat"));
        ui = MainInterface::load(settings.defaults(), nullptr);
        ASSERT_TRUE(ui);
    }
    void TearDown() override {
        ui.reset();
        NetGraphView::setHelperPath({});
    }
    void launch() { ui->controller().applicationDidFinishLaunching(); }
    QVController& controller() { return ui->controller(); }
    UserDefaults& defaults() { return settings.defaults(); }

    TestSettings settings;
    std::unique_ptr<MainInterface> ui;
};

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
