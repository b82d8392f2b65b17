// The choice among GPUs, their short names, and where NVIDIA's driver runs.
#include "kernel/GPUDevices.h"
#include "TestSupport.h"
#include "kernel/GPUCards.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

TEST(GPUDevices, TheNamedOneElseTheLargestElseTheFirst) {
    const std::vector<GPUDevice> cards = {{"card0", "Intel 0", 0},
                                          {"card1", "AMD 1", 8ull << 30},
                                          {"nvidia0", "RTX 4090", 24ull << 30}};
    const std::vector<GPUDevice> shared = {{"card0", "Intel 0", 0}, {"card1", "Intel 1", 0}};
    const struct {
        const std::vector<GPUDevice>* devices;
        const char* setting;
        std::optional<std::size_t> chosen;
    } cases[] = {
        {&cards, "", 2},  {&cards, "card1", 1},  {&cards, "card7", 2},
        {&shared, "", 0}, {&shared, "card1", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chosenGPU(*c.devices, c.setting), c.chosen) << c.setting;
    EXPECT_EQ(chosenGPU({}, ""), std::nullopt);
}

TEST(GPUDevices, ShortNamesDropTheVendorsWords) {
    const std::pair<const char*, const char*> names[] = {
        {"NVIDIA GeForce RTX 4090", "RTX 4090"},
        {"Tesla T4", "Tesla T4"},
        {"NVIDIA  A100-SXM4-40GB ", "A100-SXM4-40GB"},
        {"Quadro RTX 4000", "RTX 4000"},
        {"NVIDIA", "NVIDIA"},
    };
    for (const auto& [name, shortName] : names)
        EXPECT_EQ(shortGPUName(name), shortName) << name;
}

TEST(GPUDevices, NVIDIAIsSeenByItsDRMCard) {
    EXPECT_TRUE(hasNVIDIADevice(fixturePath("drm/nvidia")));
    EXPECT_TRUE(GPUDevices::anyReadable(fixturePath("drm/nvidia")));
    // A FIFO in place of a uevent file is refused, never waited on.
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/card0/device"));
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.path() + "/card0/device/uevent").constData(), 0600), 0);
    EXPECT_EQ(cardDriver(dir.path() + "/card0"), "");
    // Where the driver's own folder is there, it says so instead (the test
    // machine has no NVIDIA GPU when it has no such folder).
    if (!QFileInfo::exists("/proc/driver/nvidia/gpus")) {
        EXPECT_FALSE(hasNVIDIADevice(fixturePath("drm/amd-two")));
        EXPECT_FALSE(GPUDevices::anyReadable(fixturePath("drm/intel-without-rc6")));
    }
}

} // namespace
