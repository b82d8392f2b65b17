#include "ControllerFixture.h"

#include "graphs/MemGraphView.h"
#include "graphs/RemoteGraphView.h"
#include "windowsystem/ActiveApplication.h"

#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace {

QRect expectedFrame(int graphs, int position) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const int width = 66 * graphs - 2;
    const int x = position == 0 || position == 2 ? area.left() : area.right() + 1 - width;
    const int y = position == 0 || position == 1 ? area.top() : area.bottom() + 1 - 64;
    return QRect(x, y, width, 64);
}

TEST_F(ControllerTest, LaunchShowsEveryGraphInTheConfiguredCorner) {
    launch();
    const int cpus = CPUGraphView::getCPUCount();
    ASSERT_GT(cpus, 0);
    EXPECT_TRUE(ui->statWindow().isVisible());
    ASSERT_NE(controller().netView(), nullptr);
    EXPECT_EQ(controller().netView()->geometry(), QRect(0, 0, 64, 64));
    ASSERT_EQ(controller().cpuViews().size(), cpus);
    EXPECT_EQ(controller().cpuViews()[0]->geometry(), QRect(66, 0, 64, 64));
    EXPECT_GT(controller().cpuViews()[0]->sampleIntervalMs(), 0);
    for (int position : {1, 0, 2, 3, 9}) {
        defaults().setObject(position, SettingsKeys::WindowPosition);
        EXPECT_EQ(ui->statWindow().geometry(),
                  expectedFrame(cpus + 1, position == 9 ? 3 : position))
            << position;
    }
}

TEST_F(ControllerTest, MemoryGraphTakesTheSlotAfterTheNetworkGraph) {
    launch();
    const int cpus = CPUGraphView::getCPUCount();
    EXPECT_EQ(controller().memView(), nullptr) << "off by default";
    defaults().setObject(true, SettingsKeys::ShowMemGraph);
    ASSERT_NE(controller().memView(), nullptr);
    EXPECT_EQ(controller().memView()->geometry(), QRect(66, 0, 64, 64));
    EXPECT_GT(controller().memView()->sampleIntervalMs(), 0);
    EXPECT_EQ(controller().cpuViews()[0]->geometry(), QRect(132, 0, 64, 64));
    EXPECT_EQ(ui->statWindow().geometry(), expectedFrame(cpus + 2, 1));
    defaults().setObject(false, SettingsKeys::ShowMemGraph);
    EXPECT_EQ(controller().memView(), nullptr);
    EXPECT_EQ(ui->statWindow().geometry(), expectedFrame(cpus + 1, 1));
}

// Settings take effect at Apply in graphs already shown: the local graphs
// move to the new "CPUInterval", the other machines' to the new
// "NetInterval" (the helper's pace, so its lines keep ticking them), and every
// title is drawn again in the new "TextColor".
TEST_F(ControllerTest, IntervalAndTextColourChangesReachTheGraphsAlreadyShown) {
    defaults().setObjects({{SettingsKeys::ShowMemGraph, true},
                           {SettingsKeys::RemoteHosts, QStringList{"http://127.0.0.1:9/"}},
                           {SettingsKeys::TextColor, "#ffffffff"}});
    launch();
    const QList<GraphView*> shown =
        ui->statWindow().contentView()->findChildren<GraphView*>(Qt::FindDirectChildrenOnly);
    const auto remote = ui->statWindow().contentView()->findChildren<RemoteGraphView*>();
    ASSERT_FALSE(remote.isEmpty());
    const auto titleHas = [](const GraphView* view, QRgb color) {
        const QImage& image = view->graphImage();
        for (int y = 0; y < 12 * image.devicePixelRatio(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) == color)
                    return true;
        return false;
    };

    defaults().setObjects({{SettingsKeys::CPUInterval, 0.5},
                           {SettingsKeys::NetInterval, 3},
                           {SettingsKeys::TextColor, "#ff0000ff"}});
    EXPECT_EQ(controller().cpuViews()[0]->sampleIntervalMs(), 500);
    EXPECT_EQ(controller().memView()->sampleIntervalMs(), 500);
    EXPECT_EQ(remote[0]->sampleIntervalMs(), 3000);
    EXPECT_EQ(controller().netView()->sampleIntervalMs(), 0) << "ticked by its helper";
    for (const GraphView* view : shown)
        EXPECT_TRUE(titleHas(view, qRgb(255, 0, 0))) << view->graphTitle().toStdString();
}

TEST_F(ControllerTest, NetGraphOffAndOnKeepsTheCPUGraphsAndMovesThem) {
    launch();
    const QList<CPUGraphView*> before = controller().cpuViews();
    ASSERT_FALSE(before.isEmpty());
    const int width = ui->statWindow().width();

    defaults().setObject(false, SettingsKeys::ShowNetGraph);
    EXPECT_EQ(controller().netView(), nullptr);
    EXPECT_EQ(controller().cpuViews(), before) << "the same views, with their histories";
    EXPECT_EQ(before[0]->geometry(), QRect(0, 0, 64, 64));
    EXPECT_EQ(ui->statWindow().width(), width - 66);

    defaults().setObject(true, SettingsKeys::ShowNetGraph);
    ASSERT_NE(controller().netView(), nullptr);
    EXPECT_TRUE(controller().netView()->inBpsArray().empty()) << "a new view, empty";
    EXPECT_EQ(before[0]->geometry(), QRect(66, 0, 64, 64));
    EXPECT_EQ(controller().cpuViews(), before);
}

TEST_F(ControllerTest, CPUGraphsOffAndOnAreNewViewsAndNoGraphsHidesTheWindow) {
    launch();
    defaults().setObject(false, SettingsKeys::ShowCPUGraph);
    EXPECT_TRUE(controller().cpuViews().isEmpty());
    EXPECT_EQ(ui->statWindow().geometry().size(), QSize(64, 64));
    defaults().setObject(true, SettingsKeys::ShowCPUGraph);
    ASSERT_FALSE(controller().cpuViews().isEmpty());
    EXPECT_TRUE(controller().cpuViews()[0]->history(0).empty());

    defaults().setObjects(
        {{SettingsKeys::ShowCPUGraph, false}, {SettingsKeys::ShowNetGraph, false}});
    EXPECT_FALSE(ui->statWindow().isVisible());
    controller()._pollTimerHandler(); // the poll never shows an empty window
    EXPECT_FALSE(ui->statWindow().isVisible());
    defaults().setObject(true, SettingsKeys::ShowNetGraph);
    EXPECT_TRUE(ui->statWindow().isVisible());
    EXPECT_EQ(ui->statWindow().geometry().size(), QSize(64, 64));
}

// With the tray icon turned off, the preferences are the only way back to it:
// while they are open the icon is there, one icon only, and closing them
// applies the setting as it then stands.
TEST_F(ControllerTest, ThePreferencesBringTheTrayIconForTheirTime) {
    defaults().setObject(false, SettingsKeys::ShowIconOnMenuBar);
    launch();
    EXPECT_EQ(controller().statusItem(), nullptr);
    EXPECT_FALSE(controller().applicationShouldHandleReopen());
    EXPECT_TRUE(ui->prefWindow().isVisible()) << "a second start opens them";
    QSystemTrayIcon* icon = controller().statusItem();
    ASSERT_NE(icon, nullptr);
    controller().showPrefWindow();
    EXPECT_EQ(controller().statusItem(), icon) << "never a second icon";
    ui->prefWindow().close();
    EXPECT_EQ(controller().statusItem(), nullptr);

    controller().showPrefWindow();
    icon = controller().statusItem();
    ui->prefWindow().findChild<QCheckBox*>(SettingsKeys::ShowIconOnMenuBar)->click();
    controller().applyPrefChanges();
    EXPECT_EQ(controller().statusItem(), icon) << "Apply does not touch the icon";
    ui->prefWindow().close();
    EXPECT_EQ(controller().statusItem(), icon);
}

TEST_F(ControllerTest, ListedApplicationInFrontHidesTheWindowWithoutPolling) {
    defaults().setObject(false, SettingsKeys::AutoHide);
    controller()._didEndOpenSheet({"/usr/share/applications/listed.desktop"},
                                  QVController::okButton);
    launch();
    ASSERT_FALSE(controller().isHidden());

    front.activate("listed.desktop");
    EXPECT_TRUE(QTest::qWaitFor([&] { return controller().isHidden(); }, 1000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !ui->statWindow().isVisible(); }, 1000))
        << "faded out and ordered out";

    front.activate("other.desktop");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !controller().isHidden(); }, 1000));
    EXPECT_TRUE(ui->statWindow().isVisible());

    front.activate("Listed.desktop"); // case matters
    QTest::qWait(150);
    EXPECT_FALSE(controller().isHidden());

    // A full-screen window in front hides it the same way, unless turned off.
    front.fullScreen = true;
    front.activate("other.desktop");
    EXPECT_TRUE(QTest::qWaitFor([&] { return controller().isHidden(); }, 1000));
    defaults().setObject(false, SettingsKeys::HideUnderFullScreen);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !controller().isHidden(); }, 1000));
}

int openDescriptors() {
    return int(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

int childProcesses() {
    int children = 0;
    for (const QString& task :
         QDir("/proc/self/task").entryList(QDir::NoDotAndDotDot | QDir::Dirs)) {
        QFile file("/proc/self/task/" + task + "/children");
        if (file.open(QIODevice::ReadOnly))
            children += int(file.readAll().split(' ').count() - 1);
    }
    return children;
}

TEST_F(ControllerTest, FiveHundredNetworkToggleLeaveNoHelperAndNoDescriptor) {
    launch();
    ASSERT_NE(controller().netView(), nullptr);
    defaults().setObject(false, SettingsKeys::ShowNetGraph);
    QTest::qWait(50);
    const int descriptors = openDescriptors();
    const int children = childProcesses();
    for (int i = 0; i < 500; ++i) {
        defaults().setObject(true, SettingsKeys::ShowNetGraph);
        ASSERT_NE(controller().netView(), nullptr);
        QCoreApplication::processEvents();
        defaults().setObject(false, SettingsKeys::ShowNetGraph);
        ASSERT_EQ(controller().netView(), nullptr);
    }
    QTest::qWait(300); // the file watcher settles
    EXPECT_EQ(childProcesses(), children) << "a helper outlived its graph";
    EXPECT_LE(openDescriptors(), descriptors) << "descriptors leaked";
}

} // namespace
