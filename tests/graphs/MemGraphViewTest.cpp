#include "graphs/MemGraphView.h"
#include "RenderSupport.h"
#include "TestSupport.h"
#include "kernel/MemoryLoad.h"
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

TEST(MemoryLoad, SharesFromMeminfo) {
    const struct {
        QByteArray text;
        float used, cache;
    } cases[] = {
        {fixture("half-used"), 0.5f, 0.25f},
        // Before MemAvailable: free + buffers + cache stand in for it.
        {fixture("no-available"), 0.5f, 0.25f},
        // Cache the kernel counts as available stacks only up to the total.
        {fixture("cache-overlaps"), 0.9f, 0.1f},
        {"MemTotal: 100 kB\nMemAvailable: 0 kB\n", 1.0f, 0.0f},
    };
    for (const auto& c : cases) {
        const auto use = memoryUseOf(c.text);
        ASSERT_TRUE(use) << c.text.constData();
        EXPECT_NEAR(use->used, c.used, 1e-6) << c.text.constData();
        EXPECT_NEAR(use->cache, c.cache, 1e-6) << c.text.constData();
    }
    for (const char* broken :
         {"", "MemFree: 5 kB\n", "MemTotal: 0 kB\n", "MemTotal: lots\n", "XMemTotal: 100 kB\n"})
        EXPECT_FALSE(memoryUseOf(QByteArray(broken))) << broken;
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
