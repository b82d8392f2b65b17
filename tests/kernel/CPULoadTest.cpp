#include "kernel/CPULoad.h"
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
    const auto snapshot =
        parseProcStat(readFileBytes(fixturePath(QStringLiteral("proc/") + name)).toStdString());
    return *snapshot->processor(cpu);
}

TEST(CPULoad, SharesOfTheTicksBetweenTwoReadings) {
    const std::uint64_t big = 0xF000000000000000ull;
    const struct {
        const char* what;
        ProcessorTicks before, after;
        float user, nice, system, idle;
    } cases[] = {
        {"elapsed ticks", ticks(100, 0, 50, 1000), ticks(130, 0, 60, 1060), 0.3f, 0, 0.1f, 0.6f},
        {"two fixture files", fromFixture("stat-x86-a", 0), fromFixture("stat-x86-b", 0), 0.3f, 0,
         0.1f, 0.6f},
        // iowait fell by 50: it counts as 0, the rest as measured.
        {"iowait going backwards", fromFixture("stat-iowait-a", 0), fromFixture("stat-iowait-b", 0),
         0.3f, 0, 0.1f, 0.6f},
        {"iowait and steal are idle, irq is system", ticks(0, 0, 0, 0),
         ticks(10, 10, 10, 10, 20, 10, 10, 20), 0.1f, 0.1f, 0.3f, 0.5f},
        {"no tick elapsed: an empty column", ticks(5, 5, 5, 5), ticks(5, 5, 5, 5), 0, 0, 0, 1.0f},
        // Found by fuzzing: deltas whose 64-bit sum wraps around.
        {"huge counters", ticks(0, 0, 0, 0), ticks(big, 0, big, big), 1.0f / 3, 0, 1.0f / 3,
         1.0f / 3},
    };
    for (const auto& c : cases) {
        const CPULoad load = cpuLoadBetween(c.before, c.after);
        EXPECT_NEAR(load.user, c.user, 1e-6f) << c.what;
        EXPECT_NEAR(load.nice, c.nice, 1e-6f) << c.what;
        EXPECT_NEAR(load.system, c.system, 1e-6f) << c.what;
        EXPECT_NEAR(load.idle, c.idle, 1e-6f) << c.what;
    }
    // Every counter backwards (after a resume): empty, not garbage.
    const CPULoad resumed = cpuLoadBetween(ticks(500, 5, 500, 5000), ticks(10, 0, 10, 100));
    EXPECT_EQ(resumed.user + resumed.system + resumed.nice, 0.0f);
}

TEST(CPULoad, FirstSampleAgainstZeroGivesTheSinceBootShares) {
    const ProcessorTicks cpu0 = fromFixture("stat-x86-a", 0);
    const CPULoad load = cpuLoadBetween(ProcessorTicks{}, cpu0);
    const double total = 1132 + 34 + 1441 + 11311718 + 3675 + 127 + 438;
    EXPECT_FLOAT_EQ(load.user, float(1132 / total));
    EXPECT_FLOAT_EQ(load.system, float((1441 + 127 + 438) / total));
    EXPECT_NEAR(load.user + load.system + load.idle + load.nice, 1.0f, 1e-6f);
}

} // namespace
