// The disk and temperature graphs, on recorded counters and sensor trees.
#include "RenderSupport.h"
#include "TestSupport.h"
#include "graphs/DiskGraphView.h"
#include "graphs/TempGraphView.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

class DiskAndTempGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.defaults().setObjects({{SettingsKeys::DiskReadFillColor, "#ff0000ff"},
                                        {SettingsKeys::DiskWriteFillColor, "#0000ffff"},
                                        {SettingsKeys::TempFillColor, "#00ff00ff"},
                                        {SettingsKeys::DiskScale, 9}});
    }
    void TearDown() override {
        DiskGraphView::setSources(QStringLiteral("/proc/diskstats"), QStringLiteral("/sys/block"));
        TempGraphView::setSensorRoot(QStringLiteral("/sys/class/hwmon"));
    }
    TestSettings settings;
    QTemporaryDir dir;
};

// Reads hang from the top, writes rise from the bottom, at the bytes per
// second of the interval between two samples; the first sample only sets the
// baseline and a partition's bytes are not counted again.
TEST_F(DiskAndTempGraphTest, DiskReadsHangWritesRise) {
    const QString stats = dir.path() + "/diskstats";
    DiskGraphView::setSources(stats, fixturePath(QStringLiteral("sysblock")));
    DiskGraphView view(QRect(0, 0, 64, 64));
    EXPECT_EQ(view.graphTitle(), "Disk");
    writeFileBytes(stats, "8 0 sda 0 0 0 0 0 0 0 0 0 0 0\n8 1 sda1 0 0 0 0 0 0 0 0 0 0 0\n");
    view.sampleTick();
    EXPECT_TRUE(view.readHistory().empty());
    QThread::msleep(200);
    // 2 MB read, 1 kB written (in 512-byte sectors), the partition the same.
    writeFileBytes(stats, "8 0 sda 0 0 4096 0 0 0 2 0 0 0 0\n8 1 sda1 0 0 4096 0 0 0 2 0 0 0 0\n");
    view.sampleTick();
    ASSERT_EQ(view.readHistory().size(), 1u);
    const float seconds = 2097152.0f / view.readHistory().front();
    EXPECT_GT(seconds, 0.19f);
    EXPECT_LT(seconds, 1.0f);
    EXPECT_FLOAT_EQ(view.writtenHistory().front() * 2048.0f, view.readHistory().front());
    const QImage& image = view.graphImage();
    // Plot height 51: log10(~5 MB/s) / 9 × 25.5 ≈ 19 units from the top,
    // log10(~2.5 kB/s) / 9 × 25.5 ≈ 10 from the bottom.
    EXPECT_EQ(pixelUp(image, 1, 50), QColor(Qt::red));
    EXPECT_EQ(pixelUp(image, 1, 36), QColor(Qt::red));
    EXPECT_TRUE(isClear(image, 1, 28));
    EXPECT_EQ(pixelUp(image, 1, 2), QColor(Qt::blue));
    EXPECT_EQ(pixelUp(image, 1, 8), QColor(Qt::blue));
    EXPECT_TRUE(isClear(image, 1, 14));
}

// The hottest of the processor's sensors, 20 °C at the baseline and 100 °C at
// the top, titled with the reading; a chosen sensor instead, and the
// processor's again when the chosen one is not there.
TEST_F(DiskAndTempGraphTest, TemperatureOfTheChosenSensor) {
    TempGraphView::setSensorRoot(fixturePath(QStringLiteral("hwmon/coretemp")));
    TempGraphView view(QRect(0, 0, 64, 64));
    view.sampleTick();
    ASSERT_EQ(view.history().size(), 1u);
    EXPECT_FLOAT_EQ(view.history().back(), (61.0f - 20.0f) / 80.0f); // package 0, not 1 (55)
    EXPECT_EQ(view.graphTitle(), "61 °C");
    // 41 of 80 degrees of the plot's 51 units: to 27.1 from the baseline at 1.
    EXPECT_EQ(pixelUp(view.graphImage(), 1, 26), QColor(Qt::green));
    EXPECT_TRUE(isClear(view.graphImage(), 1, 28));

    const std::pair<const char*, float> choices[] = {
        {"nvme/Composite", 44.85f}, {"acpitz/temp1", 27.8f}, {"gone/temp9", 61.0f}};
    for (const auto& [sensor, celsius] : choices) {
        settings.defaults().setObject(QString::fromLatin1(sensor), SettingsKeys::TempSensor);
        view.sampleTick();
        EXPECT_FLOAT_EQ(view.history().back(), (celsius - 20.0f) / 80.0f) << sensor;
    }
    EXPECT_EQ(view.graphTitle(), "61 °C");
}

// Without the processor's own sensors the hottest other one stands in, named
// in the title; a reading no chip can give is left out, said once.
TEST_F(DiskAndTempGraphTest, AStandInIsNamedAndImpossibleReadingsAreLeftOut) {
    TempGraphView::setSensorRoot(fixturePath(QStringLiteral("hwmon/other")));
    TempGraphView standIn(QRect(0, 0, 64, 64));
    standIn.sampleTick();
    EXPECT_EQ(standIn.graphTitle(), "acpitz 41 °C");

    QTemporaryDir tree;
    QDir().mkpath(tree.path() + "/hwmon0");
    writeFileBytes(tree.path() + "/hwmon0/name", "k10temp\n");
    writeFileBytes(tree.path() + "/hwmon0/temp1_label", "Tctl\n");
    writeFileBytes(tree.path() + "/hwmon0/temp1_input", "-273150\n");
    TempGraphView::setSensorRoot(tree.path());
    TempGraphView view(QRect(0, 0, 64, 64));
    testing::internal::CaptureStderr();
    view.sampleTick();
    view.sampleTick();
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(view.history().empty());
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
    EXPECT_NE(told.find("k10temp/Tctl reads -273.15"), std::string::npos) << told;
    writeFileBytes(tree.path() + "/hwmon0/temp1_input", "52000\n");
    view.sampleTick();
    EXPECT_EQ(view.graphTitle(), "52 °C");
}

} // namespace
