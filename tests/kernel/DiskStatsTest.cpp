#include "kernel/DiskStats.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const QString sysBlock = fixturePath(QStringLiteral("sysblock"));

DiskSnapshot parse(const char* text) {
    return parseDiskStats(QByteArrayView(text),
                          [](const std::string& name) { return isWholeDisk(sysBlock, name); });
}

// Whole physical disks count; partitions, device-mapper, md, loop and zram
// devices would count the same bytes again or none at all; lines of another
// form are skipped. Sectors are 512 bytes.
TEST(DiskStats, CountsWholeDisksOnly) {
    const DiskSnapshot disks = parse(
        "   8       0 sda 100 0 8 10 200 0 16 20 0 30 30 0 0 0 0 0 0\n"
        "   8       1 sda1 100 0 8 10 200 0 16 20 0 30 30 0 0 0 0 0 0\n"
        " 259       0 nvme0n1 1 0 1000 1 2 0 2000 2 0 3 3\n"
        " 259       1 nvme0n1p1 1 0 1000 1 2 0 2000 2 0 3 3\n"
        " 254       0 vda 1190159 56406 47882690 2231595 520008 119321 99262096 452443 0 198136\n"
        " 253       0 dm-0 5 0 77 1 5 0 77 1 0 1 1 0 0 0 0\n"
        "   9       0 md0 5 0 77 1 5 0 77 1 0 1 1 0 0 0 0\n"
        "   7       0 loop0 5 0 77 1 5 0 77 1 0 1 1 0 0 0 0\n"
        " 252       0 zram0 5 0 77 1 5 0 77 1 0 1 1 0 0 0 0\n"
        "   8      16 sdb 1 2 3\n"
        "garbage\n"
        "   8      32 ../sda 1 0 8 1 2 0 16 2 0 3 3\n"
        "   x       0 sdc 1 0 8 1 2 0 16 2 0 3 3");
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_EQ(disks.at("sda").read, 8u * 512);
    EXPECT_EQ(disks.at("sda").written, 16u * 512);
    EXPECT_EQ(disks.at("nvme0n1").written, 2000u * 512);
    EXPECT_EQ(disks.at("vda").read, 47882690ull * 512);
}

// Each listed name is asked about once; one that leaves a listing is asked
// about again when it comes back.
TEST(DiskStats, WholeDisksAsksOnceForAsLongAsANameIsListed) {
    std::vector<std::string> asked;
    WholeDisks wholeDisks([&asked](const std::string& name) {
        asked.push_back(name);
        return name == "sda";
    });
    const struct {
        std::vector<std::string> listing;
        std::vector<std::string> asked;
    } listings[] = {
        {{"sda", "loop0", "sda"}, {"sda", "loop0"}},
        {{"sda", "loop0"}, {}},
        {{"sda"}, {}},
        {{"sda", "loop0"}, {"loop0"}},
    };
    for (const auto& [listing, expected] : listings) {
        asked.clear();
        for (const std::string& name : listing)
            EXPECT_EQ(wholeDisks(name), name == "sda") << name;
        wholeDisks.endListing();
        EXPECT_EQ(asked, expected);
    }
}

// Each disk gives its own growth: a counter that went back gives nothing,
// a new disk only its baseline, a vanished one nothing.
TEST(DiskStats, DeltasNeverSpike) {
    DiskDeltas deltas;
    EXPECT_FALSE(deltas.update({{"sda", {1000, 2000}}, {"sdb", {50, 50}}}));
    const auto next =
        deltas.update({{"sda", {1500, 1000}}, {"nvme0n1", {1'000'000'000, 1'000'000'000}}});
    ASSERT_TRUE(next);
    EXPECT_EQ(next->read, 500u);
    EXPECT_EQ(next->written, 0u);
    const auto last =
        deltas.update({{"sda", {1600, 1100}}, {"nvme0n1", {1'000'000'100, 1'000'000'000}}});
    ASSERT_TRUE(last);
    EXPECT_EQ(last->read, 200u);
    EXPECT_EQ(last->written, 100u);
}

} // namespace
