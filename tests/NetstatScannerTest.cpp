#include "NetstatScanner.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(NetstatScanner, OneDataLine) {
    const auto sample = scanNetstatChunk("        12     0        900         10     0        600     0\n");
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->inBytes, 900u);
    EXPECT_EQ(sample->outBytes, 600u);
}

TEST(NetstatScanner, HeadingGivesNoSampleEvenWithDataAfterIt) {
    EXPECT_FALSE(scanNetstatChunk("            input        (Total)           output\n"));
    EXPECT_FALSE(scanNetstatChunk("   packets  errs      bytes    packets  errs      bytes colls\n"
                                  "        12     0        900         10     0        600     0\n"));
}

TEST(NetstatScanner, TwoLinesGiveTheFirst) {
    const auto sample = scanNetstatChunk("1 0 100 2 0 200 0\n3 0 300 4 0 400 0\n");
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->inBytes, 100u);
    EXPECT_EQ(sample->outBytes, 200u);
}

TEST(NetstatScanner, CutLineGivesNothingAndItsRestNothingEither) {
    EXPECT_FALSE(scanNetstatChunk("        12     0        900         10"));
    // The rest of the cut line arrives as the next chunk: only three numbers.
    EXPECT_FALSE(scanNetstatChunk("     0        600     0\n"));
}

TEST(NetstatScanner, SixNumbersAreEnoughSeventhMayBeLastByte) {
    const auto six = scanNetstatChunk("1 0 5 2 0 7");
    ASSERT_TRUE(six);
    EXPECT_EQ(six->outBytes, 7u);
    // The chunk is not NUL-terminated: the scan must stop at its end, even
    // when a digit follows in memory.
    const char bytes[] = {'1', ' ', '0', ' ', '3', ' ', '2', ' ', '0', ' ', '4', '4'};
    const auto cut = scanNetstatChunk(QByteArrayView(bytes, 11));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->outBytes, 4u);
}

TEST(NetstatScanner, ASignStartsTheNextNumberAsWithSscanf) {
    // Found by fuzzing: eleven bytes holding six numbers.
    const auto sample = scanNetstatChunk("9+9+9 9+9 0");
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->inBytes, 9u);
    EXPECT_EQ(sample->outBytes, 0u);
}

TEST(NetstatScanner, EmptyAndBlankChunksGiveNothing) {
    EXPECT_FALSE(scanNetstatChunk(""));
    EXPECT_FALSE(scanNetstatChunk("  \n\n \t"));
}

TEST(NetstatScanner, CountersBeyond32BitsAreRead) {
    const auto sample = scanNetstatChunk("1 0 12000000000 1 0 4294967296 0\n");
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->inBytes, 12000000000u);
    EXPECT_EQ(sample->outBytes, 4294967296u);
}

TEST(NetstatScanner, NegativeOrOverflowingCountersAreNotSamples) {
    EXPECT_FALSE(scanNetstatChunk("1 0 -900 1 0 600 0\n"));
    EXPECT_FALSE(scanNetstatChunk("1 0 99999999999999999999999 1 0 600 0\n"));
    const auto plus = scanNetstatChunk("+1 0 +900 1 0 600 0\n");
    ASSERT_TRUE(plus);
    EXPECT_EQ(plus->inBytes, 900u);
}

} // namespace

TEST(NetstatScanner, InterfaceNamesOfProcNetDev) {
    QFile fixture(QStringLiteral(QUORVEL_FIXTURES "/netdev/dev-1"));
    ASSERT_TRUE(fixture.open(QIODevice::ReadOnly));
    EXPECT_EQ(interfaceNames(fixture.readAll()), QStringList({"lo", "eth0", "wlan0"}));
    EXPECT_EQ(interfaceNames("garbage\n|:\n"), QStringList());
}
