#include "TestSupport.h"
#include "platform/ProcStat.h"

#include <gtest/gtest.h>

namespace {

std::string fixture(const char* name) {
    return readFileBytes(fixturePath(QStringLiteral("proc/") + name)).toStdString();
}

TEST(ProcStat, ReadsEachProcessorsTenFieldsByLabel) {
    const auto snapshot = parseProcStat(fixture("stat-x86-a"));
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->processorCount(), 2);
    const ProcessorTicks* cpu1 = snapshot->processor(1);
    ASSERT_NE(cpu1, nullptr);
    EXPECT_EQ(cpu1->fields[ProcessorTicks::User], 1123u);
    EXPECT_EQ(cpu1->fields[ProcessorTicks::Idle], 11313845u);
    EXPECT_EQ(cpu1->fields[ProcessorTicks::SoftIRQ], 18u);
    EXPECT_EQ(snapshot->processor(2), nullptr);
    EXPECT_EQ(snapshot->processor(-1), nullptr);
}

TEST(ProcStat, OfflineProcessorLeavesAGapNotAShift) {
    const auto snapshot = parseProcStat(fixture("stat-offline"));
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->processorCount(), 4);
    EXPECT_EQ(snapshot->processor(2), nullptr);
    ASSERT_NE(snapshot->processor(3), nullptr);
    EXPECT_EQ(snapshot->processor(3)->fields[ProcessorTicks::User], 200u);
}

TEST(ProcStat, ManyCores) {
    const auto snapshot = parseProcStat(fixture("stat-64cores"));
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->processorCount(), 64);
    EXPECT_EQ(snapshot->processor(63)->fields[ProcessorTicks::User], 1630u);
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
