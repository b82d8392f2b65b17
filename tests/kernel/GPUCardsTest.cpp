#include "kernel/GPUCards.h"
#include "TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(GPUCards, ParsersTakeOnlyWhatTheKernelWrites) {
    EXPECT_EQ(sysfsNumber("8589934592\n"), 8589934592u);
    for (const char* bad : {"", "\n", "-5\n", "12 MB\n", "0x10\n", "99999999999999999999999\n"})
        EXPECT_FALSE(sysfsNumber(bad)) << bad;
    EXPECT_FLOAT_EQ(*busyShareOfPercent("37\n"), 0.37f);
    EXPECT_FLOAT_EQ(*busyShareOfPercent("100\n"), 1.0f);
    EXPECT_FALSE(busyShareOfPercent("101\n"));
    EXPECT_EQ(driverOfUevent("PCI_CLASS=30000\nDRIVER=i915\nPCI_ID=8086:46A6\n"), "i915");
    EXPECT_EQ(driverOfUevent("DRIVER=amdgpu"), "amdgpu");
    EXPECT_TRUE(driverOfUevent("PCI_ID=10DE:2684\nXDRIVER=x\n").isEmpty());
    for (const char* asleep : {"suspended\n", "suspending\n"})
        EXPECT_TRUE(isRuntimeSuspended(asleep));
    for (const char* awake : {"active\n", "resuming\n", "unsupported\n", ""})
        EXPECT_FALSE(isRuntimeSuspended(awake));

    const struct {
        quint64 before, now, elapsed;
        std::optional<float> busy;
    } idle[] = {
        {1000, 1250, 1000, 0.75f},       {1000, 2000, 1000, 0.0f}, {1000, 1000, 1000, 1.0f},
        {1000, 2100, 1000, 0.0f},        // the counter's own steps overshoot a little
        {1000, 900, 1000, std::nullopt}, // reset
        {1000, 1100, 0, std::nullopt},
    };
    for (const auto& c : idle)
        EXPECT_EQ(busyFromIdle(c.before, c.now, c.elapsed), c.busy) << c.before << " " << c.now;
}

// Recorded trees of /sys/class/drm: which cards have a reader, and what the
// first reading of each says.
TEST(GPUCards, RecordedTreesGiveTheirCardsAndReadings) {
    struct Card {
        QString title;
        quint64 memoryTotal;
        bool asleep;
        std::optional<float> busy;
        std::optional<quint64> memoryUsed;
        std::optional<float> celsius;
    };
    const struct {
        const char* tree;
        std::vector<Card> cards;
    } cases[] = {
        {"amd-one", {{"AMD", 8589934592, false, 0.37f, 1073741824, 54.0f}}},
        {"amd-two",
         {{"AMD 0", 536870912, false, 0.03f, 268435456, std::nullopt},
          {"AMD 1", 17163091968, false, 0.88f, 15032385536, 71.0f}}},
        {"asleep", {{"AMD", 4294967296, true, std::nullopt, std::nullopt, std::nullopt}}},
        {"garbage", {{"AMD", 8589934592, false, std::nullopt, std::nullopt, std::nullopt}}},
        {"missing", {{"AMD", 0, false, 0.12f, std::nullopt, std::nullopt}}},
        // An idle time needs a second reading before it gives a load.
        {"i915", {{"Intel", 0, false, std::nullopt, std::nullopt, std::nullopt}}},
        {"i915-old", {{"Intel", 0, false, std::nullopt, std::nullopt, std::nullopt}}},
        {"xe", {{"Intel", 0, false, std::nullopt, std::nullopt, std::nullopt}}},
        {"nvidia", {}},
        {"intel-without-rc6", {}},
        {"no-such-tree", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tree);
        const std::vector<GPUCard> found = gpuCards(fixturePath(QStringLiteral("drm/") + c.tree));
        ASSERT_EQ(found.size(), c.cards.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            const Card& want = c.cards[i];
            EXPECT_EQ(found[i].title, want.title);
            EXPECT_EQ(found[i].memoryTotal, want.memoryTotal);
            GPUCardReader reader(found[i]);
            const auto reading = reader.read(1000);
            ASSERT_TRUE(reading);
            EXPECT_EQ(reading->asleep, want.asleep);
            EXPECT_EQ(reading->busy, want.busy);
            EXPECT_EQ(reading->memoryUsed, want.memoryUsed);
            EXPECT_EQ(reading->celsius, want.celsius);
        }
    }
}

// An Intel card's load is its idle time's growth between readings; a card that
// goes (an eGPU unplugged) reads as gone and one that sleeps as asleep.
TEST(GPUCards, ReadingsFollowTheCardOverTime) {
    QTemporaryDir dir;
    ASSERT_EQ(QProcess::execute("cp", {"-r", fixturePath("drm/i915"), dir.path() + "/drm"}), 0);
    const QString idle = dir.path() + "/drm/card0/gt/gt0/rc6_residency_ms";
    const QString power = dir.path() + "/drm/card0/device/power/runtime_status";
    GPUCardReader reader(gpuCards(dir.path() + "/drm").at(0));
    ASSERT_TRUE(reader.read(1000));
    writeFileBytes(idle, "1000250\n");
    EXPECT_EQ(reader.read(2000)->busy, 0.75f);
    writeFileBytes(power, "suspended\n");
    EXPECT_TRUE(reader.read(3000)->asleep);
    writeFileBytes(power, "active\n");
    writeFileBytes(idle, "1002000\n");
    EXPECT_EQ(reader.read(4000)->busy, std::nullopt) << "not from before the sleep";
    writeFileBytes(idle, "1002500\n");
    EXPECT_EQ(reader.read(5000)->busy, 0.5f);
    ASSERT_TRUE(QDir(dir.path() + "/drm/card0").removeRecursively());
    EXPECT_FALSE(reader.read(6000));
}

} // namespace
