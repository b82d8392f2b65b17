#include "kernel/NetstatScanner.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(NetstatScanner, ReadsTheFirstSixNumbersOfAChunkAsSscanfWould) {
    const struct {
        QByteArrayView chunk;
        std::uint64_t in, out;
    } samples[] = {
        {"        12     0        900         10     0        600     0\n", 900, 600},
        {"1 0 100 2 0 200 0\n3 0 300 4 0 400 0\n", 100, 200}, // two lines: the first
        {"1 0 5 2 0 7", 5, 7},                                // six numbers are enough
        {"9+9+9 9+9 0", 9, 0}, // found by fuzzing: a sign starts the next number
        {"1 0 12000000000 1 0 4294967296 0\n", 12000000000u, 4294967296u},
        {"+1 0 +900 1 0 600 0\n", 900, 600},
        // Not NUL-terminated: the scan stops at the chunk's end, though a
        // digit follows in memory.
        {QByteArrayView("1 0 3 2 0 44", 11), 3, 4},
    };
    for (const auto& c : samples) {
        const auto sample = scanNetstatChunk(c.chunk);
        ASSERT_TRUE(sample) << c.chunk.data();
        EXPECT_EQ(sample->inBytes, c.in) << c.chunk.data();
        EXPECT_EQ(sample->outBytes, c.out) << c.chunk.data();
    }
    for (const char* nothing :
         {"", "  \n\n \t", "            input        (Total)           output\n",
          // A heading, even with data after it.
          "   packets  errs      bytes    packets  errs      bytes colls\n"
          "        12     0        900         10     0        600     0\n",
          // A cut line, and its rest arriving as the next chunk.
          "        12     0        900         10", "     0        600     0\n",
          "1 0 -900 1 0 600 0\n", "1 0 99999999999999999999999 1 0 600 0\n"})
        EXPECT_FALSE(scanNetstatChunk(nothing)) << nothing;
}

TEST(NetstatScanner, InterfaceNamesOfProcNetDev) {
    QFile fixture(QStringLiteral(QUORVEL_FIXTURES "/netdev/dev-1"));
    ASSERT_TRUE(fixture.open(QIODevice::ReadOnly));
    EXPECT_EQ(interfaceNames(fixture.readAll()), QStringList({"lo", "eth0", "wlan0"}));
    EXPECT_EQ(interfaceNames("garbage\n|:\n"), QStringList());
}

} // namespace
