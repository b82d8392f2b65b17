#include "kernel/TemperatureSensors.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

QStringList ids(const std::vector<TemperatureSensor>& sensors) {
    QStringList out;
    for (const TemperatureSensor& s : sensors)
        out << s.id;
    return out;
}

// Recorded trees of /sys/class/hwmon: which sensors there are (in the
// folders' numeric order, labels where the driver gives them) and which the
// graph shows by default.
TEST(TemperatureSensors, ProcessorSensorsOfRecordedMachines) {
    struct Case {
        const char* tree;
        QStringList all;
        QStringList processor;
    };
    const Case cases[] = {
        {"coretemp",
         {"acpitz/temp1", "coretemp/Package id 0", "coretemp/Core 0", "coretemp/Core 1",
          "nvme/Composite", "coretemp/Package id 1"},
         {"coretemp/Package id 0", "coretemp/Package id 1"}},
        {"k10temp", {"k10temp/Tctl", "k10temp/Tccd1", "amdgpu/edge"}, {"k10temp/Tctl"}},
        {"other",
         {"acpitz/temp1", "acpitz/temp2", "iwlwifi_1/temp1"},
         {"acpitz/temp1", "acpitz/temp2", "iwlwifi_1/temp1"}},
        {"none", {}, {}},
        {"missing-folder", {}, {}},
    };
    for (const Case& c : cases) {
        const auto all = temperatureSensors(fixturePath(QStringLiteral("hwmon/") + c.tree));
        EXPECT_EQ(ids(all), c.all) << c.tree;
        EXPECT_EQ(ids(processorSensors(all)), c.processor) << c.tree;
    }
}

TEST(TemperatureSensors, ReadsMillidegreesAndRefusesWhatNoChipCanRead) {
    const std::pair<const char*, std::optional<float>> cases[] = {
        {"47250\n", 47.25f},       {"-5000", -5.0f},   {"0", 0.0f},
        {"garbage", std::nullopt}, {"", std::nullopt}, {"12.5", std::nullopt},
    };
    for (const auto& [text, celsius] : cases)
        EXPECT_EQ(celsiusOf(QByteArrayView(text)), celsius) << text;
    const std::pair<float, bool> possible[] = {
        {-55.0f, true},    {175.0f, true},    {95.5f, true},      {-55.001f, false},
        {175.001f, false}, {-273.15f, false}, {999999.0f, false}, {-500.0f, false}};
    for (const auto& [celsius, can] : possible)
        EXPECT_EQ(isPossibleCelsius(celsius), can) << celsius;
}

} // namespace
