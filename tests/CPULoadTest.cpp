#include "CPULoad.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

ProcessorTicks ticks(std::uint64_t user, std::uint64_t nice, std::uint64_t system,
                     std::uint64_t idle, std::uint64_t iowait = 0, std::uint64_t irq = 0,
                     std::uint64_t softirq = 0, std::uint64_t steal = 0) {
    ProcessorTicks t;
    t.fields = {user, nice, system, idle, iowait, irq, softirq, steal};
    return t;
}

ProcessorTicks fromFixture(const char* name, int cpu) {
    const auto snapshot = parseProcStat(
        readFileBytes(fixturePath(QStringLiteral("proc/") + name)).toStdString());
    return *snapshot->processor(cpu);
}

TEST(CPULoad, SharesOfTheElapsedTicks) {
    const CPULoad load = cpuLoadBetween(ticks(100, 0, 50, 1000), ticks(130, 0, 60, 1060));
    EXPECT_EQ(load.user, 0.3f);
    EXPECT_EQ(load.system, 0.1f);
    EXPECT_EQ(load.idle, 0.6f);
    EXPECT_EQ(load.nice, 0.0f);
}

TEST(CPULoad, FirstSampleAgainstZeroGivesTheSinceBootShares) {
    const ProcessorTicks cpu0 = fromFixture("stat-x86-a", 0);
    const CPULoad load = cpuLoadBetween(ProcessorTicks{}, cpu0);
    const double total = 1132 + 34 + 1441 + 11311718 + 3675 + 127 + 438;
    EXPECT_FLOAT_EQ(load.user, float(1132 / total));
    EXPECT_FLOAT_EQ(load.system, float((1441 + 127 + 438) / total));
    EXPECT_NEAR(load.user + load.system + load.idle + load.nice, 1.0f, 1e-6f);
}

TEST(CPULoad, BetweenTwoFixtureFiles) {
    const CPULoad load =
        cpuLoadBetween(fromFixture("stat-x86-a", 0), fromFixture("stat-x86-b", 0));
    // user +30, system +10, idle +60
    EXPECT_EQ(load.user, 0.3f);
    EXPECT_EQ(load.system, 0.1f);
    EXPECT_EQ(load.idle, 0.6f);
}

TEST(CPULoad, BackwardsIowaitNeverProducesHugeDeltas) {
    const CPULoad load =
        cpuLoadBetween(fromFixture("stat-iowait-a", 0), fromFixture("stat-iowait-b", 0));
    // iowait fell by 50: it counts as 0, the rest as measured (30, 10, 60).
    EXPECT_EQ(load.user, 0.3f);
    EXPECT_EQ(load.system, 0.1f);
    EXPECT_EQ(load.idle, 0.6f);
    for (float share : {load.user, load.system, load.idle, load.nice}) {
        EXPECT_GE(share, 0.0f);
        EXPECT_LE(share, 1.0f);
    }
}

TEST(CPULoad, IowaitAndStealAreIdleIrqIsSystem) {
    const CPULoad load = cpuLoadBetween(ticks(0, 0, 0, 0), ticks(10, 10, 10, 10, 20, 10, 10, 20));
    EXPECT_EQ(load.user, 0.1f);
    EXPECT_EQ(load.nice, 0.1f);
    EXPECT_EQ(load.system, 0.3f);
    EXPECT_EQ(load.idle, 0.5f);
}

TEST(CPULoad, NoElapsedTickIsAnEmptyColumn) {
    const CPULoad load = cpuLoadBetween(ticks(5, 5, 5, 5), ticks(5, 5, 5, 5));
    EXPECT_EQ(load.user, 0.0f);
    EXPECT_EQ(load.system, 0.0f);
    EXPECT_EQ(load.nice, 0.0f);
    EXPECT_EQ(load.idle, 1.0f);
}

TEST(CPULoad, HugeCountersNeverOverflowTheTotal) {
    // Found by fuzzing: deltas whose 64-bit sum wraps around.
    const std::uint64_t big = 0xF000000000000000ull;
    const CPULoad load = cpuLoadBetween(ticks(0, 0, 0, 0), ticks(big, 0, big, big));
    EXPECT_NEAR(load.user, 1.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(load.system, 1.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(load.user + load.system + load.idle + load.nice, 1.0f, 1e-6f);
}

TEST(CPULoad, AllCountersBackwardsAfterResumeIsEmptyNotGarbage) {
    const CPULoad load = cpuLoadBetween(ticks(500, 5, 500, 5000), ticks(10, 0, 10, 100));
    EXPECT_EQ(load.user + load.system + load.nice, 0.0f);
}

} // namespace
