// The GPU graph on recorded DRM trees and the stand-in NVML library.
#include "graphs/GPUGraphView.h"
#include "RenderSupport.h"
#include "TestSupport.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QColor load(Qt::green), memory(Qt::red);

class GPUGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.defaults().setObjects({{SettingsKeys::GPULoadFillColor, "#00ff00ff"},
                                        {SettingsKeys::GPUMemoryFillColor, "#ff0000ff"}});
        // An AMD card of 8 GB (37 % busy, 1 GB in use, 54 °C) and an NVIDIA one.
        for (const auto& [from, to] :
             {std::pair{"drm/amd-one/card0", "card0"}, std::pair{"drm/nvidia/card0", "card1"}})
            ASSERT_EQ(QProcess::execute("cp", {"-r", fixturePath(from), drm + '/' + to}), 0);
    }
    void TearDown() override {
        GPUGraphView::setSources("/sys/class/drm", "libnvidia-ml.so.1");
        qputenv("QUORVEL_STAND_IN_NVML", "answers");
    }
    // Ticks until the title is the one wanted (NVML answers from its thread).
    static bool tickUntil(GPUGraphView& view, const QString& name, const QString& state) {
        return QTest::qWaitFor([&] {
            view.sampleTick();
            return view.graphTitle() == view.fittedTitle(name, state);
        });
    }
    TestSettings settings;
    QTemporaryDir dir;
    QString drm = dir.path();
};

// The load fills from the baseline (37 % of the plot's 51 units), the memory
// in use is a one-unit line at its share (1 of 8 GB: 6 units up); an asleep
// or vanished card greys its column and says so, and comes back.
TEST_F(GPUGraphTest, LoadAndMemoryOfACardThatSleepsAndGoes) {
    GPUGraphView::setSources(drm, {});
    GPUGraphView view(QRect(0, 0, 64, 64));
    view.sampleTick();
    EXPECT_EQ(view.graphTitle(), view.fittedTitle("AMD", "54°"));
    const QImage& image = view.graphImage();
    EXPECT_EQ(pixelUp(image, 1, 2), load);
    EXPECT_EQ(pixelUp(image, 1, 6), memory);
    EXPECT_EQ(pixelUp(image, 1, 18), load);
    EXPECT_TRUE(isClear(image, 1, 21));
    // A name too long loses its first words, then is cut short.
    const QString last = view.fittedTitle("RTX 4090 Ti SUPER", "61°");
    EXPECT_TRUE(last.startsWith("S") && last.endsWith(" 61°")) << last;
    const QString cut = view.fittedTitle("A100-SXM4-80GB", "61°");
    EXPECT_TRUE(cut.startsWith("A") && cut.endsWith("… 61°")) << cut;

    const QString power = drm + "/card0/device/power/runtime_status";
    writeFileBytes(power, "suspended\n");
    view.sampleTick();
    EXPECT_EQ(view.graphTitle(), view.fittedTitle("AMD", "asleep"));
    const QColor grey = pixelUp(image, 2, 40);
    EXPECT_EQ(grey.red(), grey.green());
    EXPECT_GT(grey.alpha(), 0);
    EXPECT_TRUE(isClear(image, 1, 40)) << "the earlier column stays as it was";

    testing::internal::CaptureStderr();
    ASSERT_TRUE(QDir(drm).rename("card0", "unplugged"));
    view.sampleTick();
    view.sampleTick();
    EXPECT_EQ(view.graphTitle(), view.fittedTitle("AMD", "gone"));
    EXPECT_EQ(view.greyHistory(), std::deque<float>({0, 1, 1, 1}));
    ASSERT_TRUE(QDir(drm).rename("unplugged", "card0"));
    writeFileBytes(power, "active\n");
    view.sampleTick();
    EXPECT_EQ(QString::fromStdString(testing::internal::GetCapturedStderr()).count("is gone"), 1);
    EXPECT_EQ(view.graphTitle(), view.fittedTitle("AMD", "54°"));
    EXPECT_EQ(pixelUp(image, 5, 2), load);
}

// Beside an AMD card, NVIDIA's larger one is shown by default; the setting
// picks the other. A library that fails says so and leaves the AMD card; one
// that hangs greys the graph without holding up the ticks.
TEST_F(GPUGraphTest, NVIDIAThroughNVML) {
    GPUGraphView::setSources(drm, QStringLiteral(QUORVEL_STAND_IN_NVML));
    {
        GPUGraphView view(QRect(0, 0, 64, 64));
        ASSERT_TRUE(tickUntil(view, "RTX 4090", "61°")) << view.graphTitle();
        EXPECT_FLOAT_EQ(view.loadHistory().back(), 0.42f);
        EXPECT_FLOAT_EQ(view.memoryHistory().back(), 0.25f);
        ASSERT_EQ(view.devices().size(), 3u);
        EXPECT_EQ(view.devices()[2].id, "nvidia1");
        settings.defaults().setObject("card0", SettingsKeys::GPUDevice);
        view.sampleTick();
        EXPECT_EQ(view.graphTitle(), view.fittedTitle("AMD", "54°"));
        EXPECT_EQ(view.loadHistory().size(), 1u) << "another GPU's history starts anew";
        settings.defaults().setObject("", SettingsKeys::GPUDevice);
    }
    testing::internal::CaptureStderr();
    qputenv("QUORVEL_STAND_IN_NVML", "fails");
    {
        GPUGraphView view(QRect(0, 0, 64, 64));
        ASSERT_TRUE(tickUntil(view, "AMD", "54°"));
        view.sampleTick();
    }
    EXPECT_EQ(QString::fromStdString(testing::internal::GetCapturedStderr())
                  .count("NVIDIA's GPUs cannot be read: nvmlInit_v2 failed with 9."),
              1);
    qputenv("QUORVEL_STAND_IN_NVML", "hangs");
    GPUGraphView view(QRect(0, 0, 64, 64));
    ASSERT_TRUE(tickUntil(view, "RTX 4090", "silent"));
    EXPECT_EQ(view.greyHistory().back(), 1.0f);
}

} // namespace
