#include "graphs/MemGraphView.h"
#include "RenderSupport.h"
#include "TestSupport.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(QUORVEL_FIXTURES "/meminfo/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class MemGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.defaults().setObjects({{SettingsKeys::MemUsedFillColor, "#ff0000ff"},
                                        {SettingsKeys::MemCacheFillColor, "#0000ffff"}});
    }
    void TearDown() override { MemGraphView::setMemInfoPath(QStringLiteral("/proc/meminfo")); }
    void show(const char* name) {
        writeFileBytes(path, fixture(name));
        MemGraphView::setMemInfoPath(path);
    }
    TestSettings settings;
    QTemporaryDir dir;
    QString path = dir.path() + "/meminfo";
};

TEST_F(MemGraphTest, UsedOnTheBaselineCacheAboveItTitledMemory) {
    show("half-used");
    MemGraphView view(QRect(0, 0, 64, 64));
    EXPECT_EQ(view.graphTitle(), "Memory");
    view._drawGraph();
    const QImage& image = view.graphImage();
    // Plot height 51 from y 1: used to 26.5, cache to 39.25, as the CPU
    // graph's shares of the same sizes.
    EXPECT_EQ(pixelUp(image, 1, 1), QColor(Qt::red));
    EXPECT_EQ(pixelUp(image, 1, 25), QColor(Qt::red));
    EXPECT_EQ(pixelUp(image, 1, 30), QColor(Qt::blue));
    EXPECT_EQ(pixelUp(image, 1, 38), QColor(Qt::blue));
    EXPECT_TRUE(isClear(image, 1, 40));
    EXPECT_TRUE(isClear(image, 2, 10)) << "one column per sample";
}

TEST_F(MemGraphTest, UnreadableCountersAddNoColumn) {
    MemGraphView::setMemInfoPath(dir.path() + "/missing");
    MemGraphView view(QRect(0, 0, 64, 64));
    view._drawGraph();
    EXPECT_TRUE(view.history(0).empty());
    show("half-used");
    view._drawGraph();
    EXPECT_EQ(view.history(0).size(), 1u);
}

} // namespace
