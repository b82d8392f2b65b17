#include "NetDev.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace {

std::string fixture(const std::string& name) {
    std::ifstream in(std::string(QUORVEL_FIXTURES) + "/netdev/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

netdev::Snapshot snapshot(const std::string& name) {
    auto parsed = netdev::parseNetDev(fixture(name));
    EXPECT_TRUE(parsed) << name;
    return parsed.value_or(netdev::Snapshot{});
}

bool notLoopback(const std::string& name) {
    return name != "lo";
}

TEST(NetDev, ParsesInterfaceLinesAndSkipsHeadings) {
    const auto s = snapshot("dev-1");
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s.at("eth0").rxBytes, 1000000u);
    EXPECT_EQ(s.at("eth0").rxErrors, 1u);
    EXPECT_EQ(s.at("eth0").txBytes, 300000u);
    EXPECT_EQ(s.at("eth0").collisions, 2u);
    EXPECT_FALSE(netdev::parseNetDev("Inter-|   Receive\n face |bytes\n"));
    EXPECT_FALSE(netdev::parseNetDev(""));
    // A name holding ':' is split at the last one; a counter may abut the
    // colon; blanks around a name go, however many; a short line and one
    // without a name are skipped.
    const auto odd = netdev::parseNetDev("eth0:1: 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n"
                                         "   wlan0 :7 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n"
                                         "bad: 1 2 3\n"
                                         " : 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->count("eth0:1"), 1u);
    ASSERT_EQ(odd->count("wlan0"), 1u);
    EXPECT_EQ(odd->at("wlan0").rxBytes, 7u);
    EXPECT_EQ(odd->size(), 2u);
}

TEST(NetDev, RatesOverRealInterfacesWithoutLoopback) {
    netdev::IntervalAccumulator totals(notLoopback);
    EXPECT_FALSE(totals.update(snapshot("dev-1"))) << "the first snapshot is only a baseline";
    const auto interval = totals.update(snapshot("dev-2"));
    ASSERT_TRUE(interval);
    EXPECT_EQ(interval->inBytes, 900u + 100u);
    EXPECT_EQ(interval->outBytes, 600u + 40u);
    EXPECT_EQ(interval->inPackets, 12u + 1u);
    EXPECT_EQ(interval->outPackets, 10u + 1u);
    EXPECT_EQ(interval->inErrors, 0u);
}

TEST(NetDev, VanishingAndResetInterfacesNeverGiveNegativeOrAbsurdCounts) {
    netdev::IntervalAccumulator totals(notLoopback);
    totals.update(snapshot("dev-2"));
    // wlan0 vanished: only eth0's own growth counts.
    const auto gone = totals.update(snapshot("dev-3-wlan-gone"));
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->inBytes, 2000u);
    EXPECT_EQ(gone->outBytes, 1000u);
    // eth0's counters were reset and wlan0 came back: nothing for eth0 this
    // time (not 2^64 − something), wlan0 only takes its baseline.
    const auto reset = totals.update(snapshot("dev-4-eth-reset"));
    ASSERT_TRUE(reset);
    EXPECT_EQ(reset->inBytes, 0u);
    EXPECT_EQ(reset->outBytes, 0u);
    // Afterwards both count from their new baselines.
    const auto after = totals.update(snapshot("dev-5"));
    ASSERT_TRUE(after);
    EXPECT_EQ(after->inBytes, 1000u + 100u);
    EXPECT_EQ(after->outBytes, 200u + 20u);
}

TEST(NetDev, OutputLooksLikeBsdNetstat) {
    const std::string headings = netdev::headingLines();
    EXPECT_FALSE(std::isdigit(static_cast<unsigned char>(headings.find_first_not_of(' '))));
    EXPECT_NE(headings.find("(Total)"), std::string::npos);
    EXPECT_NE(netdev::headingLines({"tun0", "wlan0"}).find("input        (tun0,wlan0)"),
              std::string::npos)
        << "the interfaces chosen with -I are named";
    netdev::IntervalCounters c{12, 0, 900, 10, 0, 600, 0};
    const std::string line = netdev::formatIntervalLine(c);
    EXPECT_EQ(line.back(), '\n');
    std::istringstream fields(line);
    std::uint64_t v[7];
    for (auto& x : v)
        fields >> x;
    EXPECT_EQ(v[2], 900u);
    EXPECT_EQ(v[5], 600u);
    EXPECT_NE(netdev::formatIntervalLine({0, 0, 18446744073709551615ull, 0, 0, 0, 0})
                  .find("18446744073709551615"),
              std::string::npos)
        << "64-bit counters print whole";
}

} // namespace
