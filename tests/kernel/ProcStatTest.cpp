#include "kernel/ProcStat.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::string fixture(const char* name) {
    return readFileBytes(fixturePath(QStringLiteral("proc/") + name)).toStdString();
}

// Processors are found by their label: an offline one leaves a gap, not a shift.
TEST(ProcStat, ReadsEachProcessorsFieldsByLabel) {
    struct Case {
        const char* fixture;
        int count, cpu;
        std::uint64_t user;
        int missing;
    };
    for (const Case& c : {Case{"stat-x86-a", 2, 1, 1123u, 2}, Case{"stat-offline", 4, 3, 200u, 2},
                          Case{"stat-64cores", 64, 63, 1630u, -1}}) {
        const auto snapshot = parseProcStat(fixture(c.fixture));
        ASSERT_TRUE(snapshot) << c.fixture;
        EXPECT_EQ(snapshot->processorCount(), c.count) << c.fixture;
        ASSERT_NE(snapshot->processor(c.cpu), nullptr) << c.fixture;
        EXPECT_EQ(snapshot->processor(c.cpu)->fields[ProcessorTicks::User], c.user) << c.fixture;
        EXPECT_EQ(snapshot->processor(c.missing), nullptr) << c.fixture;
    }
    const auto snapshot = parseProcStat(fixture("stat-x86-a"));
    EXPECT_EQ(snapshot->processor(1)->fields[ProcessorTicks::Idle], 11313845u);
    EXPECT_EQ(snapshot->processor(1)->fields[ProcessorTicks::SoftIRQ], 18u);
}

TEST(ProcStat, ToleratesOldKernelsAndRejectsGarbage) {
    // Kernels before 2.6 printed only four fields.
    const auto old = parseProcStat("cpu0 1 2 3 4\n");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->processor(0)->fields[ProcessorTicks::Idle], 4u);
    EXPECT_FALSE(parseProcStat(""));
    EXPECT_FALSE(parseProcStat("cpu  1 2 3 4 5\n")) << "the total line is no processor";
    EXPECT_FALSE(parseProcStat("cpu0 1 2 x 4\n"));
    EXPECT_FALSE(parseProcStat("cpu99999999 1 2 3 4\n"));
    EXPECT_FALSE(parseProcStat("cpu0 -1 2 3 4\n"));
}

TEST(ProcStatReader, SharesOneReadWithinItsMaxAge) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/stat";
    writeFileBytes(path, "cpu0 1 0 0 1\n");
    auto now = std::chrono::steady_clock::time_point{};
    ProcStatReader reader(path.toStdString(), std::chrono::milliseconds(20), [&] { return now; });
    const auto first = reader.snapshot();
    ASSERT_TRUE(first);
    writeFileBytes(path, "cpu0 5 0 0 1\n");
    now += std::chrono::milliseconds(5);
    EXPECT_EQ(reader.snapshot(), first);
    now += std::chrono::milliseconds(20);
    const auto second = reader.snapshot();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->processor(0)->fields[ProcessorTicks::User], 5u);
}

TEST(ProcStatReader, MissingFileGivesTheSystemsReason) {
    ProcStatReader reader("/nonexistent/stat", std::chrono::milliseconds(0));
    QString error;
    EXPECT_FALSE(reader.snapshot(&error));
    EXPECT_EQ(error, "No such file or directory");
}

} // namespace
