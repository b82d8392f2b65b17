#include "graphs/CPUGraphView.h"
#include "RenderSupport.h"
#include "TestSupport.h"
#include "kernel/ProcStat.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// A CPU graph fed from a /proc/stat file the test writes.
class CPUGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.defaults().setObjects({{SettingsKeys::CPUUserFillColor, "#ff0000ff"},
                                        {SettingsKeys::CPUSystemFillColor, "#00ff00ff"},
                                        {SettingsKeys::CPUNiceFillColor, "#0000ffff"}});
        ProcStatReader::setShared(&reader);
    }
    void TearDown() override { ProcStatReader::setShared(nullptr); }

    // Sets cumulative ticks of cpu0 (and cpu1, cpu3 with a gap at cpu2).
    void setTicks(std::uint64_t user, std::uint64_t nice, std::uint64_t system,
                  std::uint64_t idle) {
        const QByteArray line = QByteArray::number(user) + " " + QByteArray::number(nice) + " " +
                                QByteArray::number(system) + " " + QByteArray::number(idle) +
                                " 0 0 0 0 0 0\n";
        writeFileBytes(statPath, "cpu  1 1 1 1\ncpu0 " + line + "cpu1 " + line + "cpu3 " + line);
    }

    TestSettings settings;
    QTemporaryDir dir;
    QString statPath = dir.path() + "/stat";
    ProcStatReader reader{statPath.toStdString(), std::chrono::milliseconds(0)};
};

TEST_F(CPUGraphTest, CountIncludesOfflineGapsTitlesCountFromOneAndFailureGivesZero) {
    setTicks(1, 0, 0, 1);
    EXPECT_EQ(CPUGraphView::getCPUCount(), 4);
    EXPECT_EQ(CPUGraphView(QRect(0, 0, 64, 64), 3).graphTitle(), "CPU #4");
    QFile::remove(statPath);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CPUGraphView::getCPUCount(), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("host_processor_info error: "),
              std::string::npos);
}

// Where processors share a graph (hundreds of them on a small screen), the
// graph shows their summed time, offline ones left out, and names the run.
TEST_F(CPUGraphTest, ARunOfProcessorsIsSummedAndTitledByItsEnds) {
    writeFileBytes(statPath, "cpu  1 1 1 1\ncpu0 10 0 0 30 0 0 0 0 0 0\n"
                             "cpu1 30 0 10 0 0 0 0 0 0 0\ncpu3 0 0 0 40 0 0 0 0 0 0\n");
    CPUGraphView run(QRect(0, 0, 64, 64), 0, 4);
    EXPECT_EQ(run.graphTitle(), "#1–4");
    const std::optional<CPULoad> load = run._getCPULoad();
    ASSERT_TRUE(load);
    EXPECT_FLOAT_EQ(load->user, 40.0f / 120.0f);
    EXPECT_FLOAT_EQ(load->system, 10.0f / 120.0f);
    EXPECT_FALSE(CPUGraphView(QRect(0, 0, 64, 64), 2, 1)._getCPULoad()) << "cpu2 is offline";
    EXPECT_FALSE(CPUGraphView(QRect(0, 0, 64, 64), 4, 8)._getCPULoad()) << "beyond the last";
}

TEST_F(CPUGraphTest, StackedSegmentsEndAtFractionalHeights) {
    // Since boot: user 50, system 25, idle 25 → shares 0.5, 0.25, 0.
    setTicks(50, 0, 25, 25);
    CPUGraphView view(QRect(0, 0, 64, 64), 0);
    view._drawGraph();
    const QImage& image = view.graphImage();

    // Column 0 is pixel column 1; pixel columns 0 and 2 stay clear.
    EXPECT_TRUE(isClear(image, 0, 10));
    EXPECT_TRUE(isClear(image, 2, 10));
    EXPECT_TRUE(isClear(image, 1, 0)) << "row 0 is below the baseline";
    // User from y 1 to 26.5.
    EXPECT_EQ(pixelUp(image, 1, 1), QColor(Qt::red));
    EXPECT_EQ(pixelUp(image, 1, 25), QColor(Qt::red));
    // Pixel row 26..27: the user half, then the system half over it (each
    // antialiased edge covers half the pixel, and they compose).
    const QColor shared = pixelUp(image, 1, 26);
    EXPECT_NEAR(shared.alpha(), 191, 4);
    EXPECT_GT(shared.red(), 60);
    EXPECT_GT(shared.green(), 60);
    // System from 26.5 to 39.25: row 39..40 a quarter covered.
    EXPECT_EQ(pixelUp(image, 1, 38), QColor(Qt::green));
    EXPECT_NEAR(pixelUp(image, 1, 39).alpha(), 64, 4);
    EXPECT_TRUE(isClear(image, 1, 40));
    EXPECT_TRUE(isClear(image, 1, 51));

    // Fully busy reaches the title strip's lower edge.
    setTicks(110, 20, 45, 25);
    view._drawGraph();
    EXPECT_EQ(pixelUp(view.graphImage(), 2, 51), QColor(Qt::blue));
}

TEST_F(CPUGraphTest, FillsFromTheLeftThenScrollsAfter62Samples) {
    std::uint64_t user = 0, idle = 0;
    setTicks(user += 10, 0, 0, idle); // first sample: fully user
    CPUGraphView view(QRect(0, 0, 64, 64), 0);
    view._drawGraph();
    EXPECT_EQ(pixelUp(view.graphImage(), 1, 30), QColor(Qt::red));
    for (int tick = 1; tick < 62; ++tick) {
        setTicks(user, 0, 0, idle += 10); // idle samples
        view._drawGraph();
    }
    EXPECT_EQ(view.history(0).size(), 62u);
    EXPECT_EQ(pixelUp(view.graphImage(), 1, 30), QColor(Qt::red)) << "still the oldest column";

    setTicks(user += 10, 0, 0, idle); // the 63rd sample: busy again
    view._drawGraph();
    EXPECT_EQ(view.history(0).size(), 62u);
    EXPECT_EQ(view.history(0).front(), 0.0f) << "the first sample is gone";
    EXPECT_TRUE(isClear(view.graphImage(), 1, 30));
    EXPECT_EQ(pixelUp(view.graphImage(), 62, 30), QColor(Qt::red)) << "newest at the right";
    EXPECT_TRUE(isClear(view.graphImage(), 63, 30));
}

TEST_F(CPUGraphTest, TickWithoutSampleAddsNothing) {
    setTicks(10, 0, 0, 10);
    CPUGraphView offline(QRect(0, 0, 64, 64), 2);
    offline._drawGraph();
    EXPECT_TRUE(offline.history(0).empty());

    CPUGraphView view(QRect(0, 0, 64, 64), 0);
    view._drawGraph();
    QFile::remove(statPath);
    testing::internal::CaptureStderr();
    view._drawGraph();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(view.history(0).size(), 1u);
    EXPECT_EQ(view.history(1).size(), 1u);
    EXPECT_EQ(view.history(2).size(), 1u);

    // The failed read left the previous counters: the next sample covers the gap.
    setTicks(20, 0, 0, 30);
    view._drawGraph();
    EXPECT_FLOAT_EQ(view.history(0).back(), 10.0f / 30.0f);
}

TEST_F(CPUGraphTest, SamplesOnItsTimerOnlyWhileInAWindow) {
    settings.defaults().setObject(0.05, SettingsKeys::CPUInterval);
    setTicks(10, 0, 0, 10);
    QWidget window;
    auto* view = new CPUGraphView(QRect(0, 0, 64, 64), 0);
    view->addToContentView(&window);
    EXPECT_GT(view->sampleIntervalMs(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->history(0).size() >= 2; }, 2000));
    view->removeFromSuperview();
    EXPECT_EQ(view->sampleIntervalMs(), 0);
    const std::size_t kept = view->history(0).size();
    QTest::qWait(200);
    EXPECT_EQ(view->history(0).size(), kept) << "no tick after leaving the window";
    delete view;
}

} // namespace
