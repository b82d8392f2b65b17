#pragma once

#include "CPUGraphView.h"
#include "FloatingWindow.h"
#include "MainInterface.h"
#include "NetGraphView.h"
#include "PrefWindow.h"
#include "QVController.h"
#include "SettingsKeys.h"
#include "TestSupport.h"
#include "platform/DefaultsController.h"
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
