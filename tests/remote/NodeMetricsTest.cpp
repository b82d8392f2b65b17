#include "remote/NodeMetrics.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A real answer of Debian 12's prometheus-node-exporter (its lines that
// Quorvel reads, with their HELP and TYPE comments and a few others).
TEST(NodeMetrics, ReadsWhatDebiansNodeExporterSays) {
    const QByteArray text =
        readFileBytes(fixturePath(QStringLiteral("node_exporter/debian12-two-cpus.prom")));
    const auto metrics = parseNodeMetrics(std::string_view(text.data(), std::size_t(text.size())));
    ASSERT_TRUE(metrics);
    EXPECT_TRUE(metrics->hasCpu);
    EXPECT_DOUBLE_EQ(metrics->cpuUser, 5823.98 + 8278.77);
    EXPECT_DOUBLE_EQ(metrics->cpuSystem, 1572.52 + 3.37 + 1812.06 + 13.89);
    EXPECT_DOUBLE_EQ(metrics->cpuIdle, 15301.74 + 26.64 + 16.68 + 12549.19 + 94.22 + 16.63);
    ASSERT_EQ(metrics->network.size(), 1u) << "eth0; not the ifb devices";
    EXPECT_DOUBLE_EQ(metrics->network.at("eth0").first, 2.31550953e+08);
    ASSERT_EQ(metrics->disks.size(), 1u) << "vda; not zram0";
    EXPECT_DOUBLE_EQ(metrics->disks.at("vda").second, 5.406480384e+10);
    EXPECT_DOUBLE_EQ(*metrics->memTotal, 2.5276182528e+10);
}

// The text format's corners: escaped label values (a `}`, `"`, `\` or newline
// inside one), a label given twice, timestamps, CRLF lines, values that are no
// counts, broken lines among good ones; and answers that are not the format.
TEST(NodeMetrics, ReadsTheFormatsCornersAndRefusesWhatIsNotIt) {
    const auto metrics = parseNodeMetrics(
        "node_network_receive_bytes_total{device=\"eth0\",note=\"a}b\\\"c\"} 100 1700000000000\r\n"
        "node_network_transmit_bytes_total{ device = \"eth0\" , } 2e3\n"
        "node_network_receive_bytes_total{device=\"w\\\\l\\\"an\\n2\"} 9\n"
        "node_network_transmit_bytes_total{device=\"wlan0\",device=\"wlan1\"} 7\n"
        "node_disk_read_bytes_total{device=\"sda\"} NaN\n"
        "node_disk_read_bytes_total{device=\"sdb\"} +Inf\n"
        "node_disk_written_bytes_total{device=\"sdc\" 5\n"
        "node_disk_written_bytes_total{device=\"sdd\"} 5x\n"
        "node_memory_MemTotal_bytes\n"
        "{device=\"x\"} 1\n"
        "node_memory_MemAvailable_bytes 4096");
    ASSERT_TRUE(metrics);
    EXPECT_DOUBLE_EQ(metrics->network.at("eth0").first, 100);
    EXPECT_DOUBLE_EQ(metrics->network.at("eth0").second, 2000);
    EXPECT_DOUBLE_EQ(metrics->network.at("w\\l\"an\n2").first, 9);
    EXPECT_DOUBLE_EQ(metrics->network.at("wlan1").second, 7); // a label given twice: the last
    EXPECT_TRUE(metrics->disks.empty());
    EXPECT_FALSE(metrics->memTotal);
    EXPECT_DOUBLE_EQ(*metrics->memAvailable, 4096);
    EXPECT_FALSE(metrics->hasCpu);

    for (const char* notTheFormat :
         {"", "<html><body>404 Not Found</body></html>", "# HELP only comments\n# TYPE x counter\n",
          "\x89PNG\r\n\x1a\n", "node_cpu_seconds_total{mode=\"user\"\n"})
        EXPECT_FALSE(parseNodeMetrics(notTheFormat)) << notTheFormat;
}

TEST(NodeMetrics, CountsRealInterfacesAndWholeDisks) {
    for (const char* counted : {"eth0", "enp3s0", "wlan0", "wlp2s0"})
        EXPECT_TRUE(isCountedInterface(counted)) << counted;
    for (const char* left : {"lo", "docker0", "veth1a2b", "br-5f3", "virbr0", "tun0", "wg0",
                             "bond0", "br0", "team0", "eth0.10", "vlan10", ""})
        EXPECT_FALSE(isCountedInterface(left)) << left;
    for (const char* counted : {"sda", "vda", "xvdb", "nvme0n1", "mmcblk0", "sdaa"})
        EXPECT_TRUE(isCountedDisk(counted)) << counted;
    for (const char* left :
         {"sda1", "nvme0n1p2", "mmcblk0p1", "dm-0", "md127", "loop3", "zram0", "sr0", "vda12", ""})
        EXPECT_FALSE(isCountedDisk(left)) << left;
}

// Bonds, bridges and VLANs stacked over a machine's hardware: each byte is
// counted once, on the interfaces beneath. Rows are node_exporter's netdev
// and netclass lines (flags 0x1003 is up, broadcast, multicast; 0x400 a
// bond's own device, 0x800 its port; address type 0 the hardware's own
// address, 1 random, 2 taken from another interface, 3 set).
TEST(NodeMetrics, CountsEachByteOnceBeneathBondsBridgesAndVlans) {
    struct Interface {
        const char* name;
        int index, link, flags, addressType;
        const char* address;
    };
    const auto answer = [](std::initializer_list<Interface> interfaces, bool netclass = true) {
        std::string text;
        for (const Interface& i : interfaces) {
            const std::string device = std::string("{device=\"") + i.name + "\"}";
            text += "node_network_receive_bytes_total" + device + " 1000\n";
            text += "node_network_transmit_bytes_total" + device + " 10\n";
            if (!netclass)
                continue;
            text += "node_network_iface_id" + device + " " + std::to_string(i.index) + "\n";
            text += "node_network_iface_link" + device + " " + std::to_string(i.link) + "\n";
            text += "node_network_flags" + device + " " + std::to_string(i.flags) + "\n";
            text += "node_network_address_assign_type" + device + " " +
                    std::to_string(i.addressType) + "\n";
            text += std::string("node_network_info{address=\"") + i.address +
                    "\",broadcast=\"ff:ff:ff:ff:ff:ff\",device=\"" + i.name +
                    "\",duplex=\"full\",ifalias=\"\",operstate=\"up\"} 1\n";
        }
        const auto metrics = parseNodeMetrics(text);
        std::string counted;
        for (const auto& [name, bytes] : metrics->network)
            counted += (counted.empty() ? "" : " ") + name;
        return counted;
    };
    const Interface lo{"lo", 1, 1, 0x9, 0, "00:00:00:00:00:00"};
    const Interface eth0{"eth0", 2, 2, 0x1003, 0, "52:54:00:12:34:56"};
    const Interface eth0Port{"eth0", 2, 2, 0x1803, 0, "52:54:00:12:34:56"};
    const Interface eth1Port{"eth1", 3, 3, 0x1803, 3, "52:54:00:12:34:56"};
    struct Case {
        const char* machine;
        std::string counted, expected;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"bonded",
              answer({lo, eth0Port, eth1Port, {"bond0", 4, 4, 0x1403, 2, "52:54:00:12:34:56"}}),
              "eth0 eth1"},
             {"a bond named by its user",
              answer({lo, eth0Port, eth1Port, {"uplink", 4, 4, 0x1403, 2, "52:54:00:12:34:56"}}),
              "eth0 eth1"},
             {"bridged", answer({lo, eth0, {"lan", 5, 5, 0x1003, 1, "52:54:00:12:34:56"}}), "eth0"},
             {"a bridge over a bond",
              answer({lo,
                      eth0Port,
                      eth1Port,
                      {"uplink", 4, 4, 0x1403, 2, "52:54:00:12:34:56"},
                      {"lan", 5, 5, 0x1003, 3, "52:54:00:12:34:56"}}),
              "eth0 eth1"},
             {"a VLAN under any name",
              answer({lo,
                      eth0,
                      {"eth0.10", 6, 2, 0x1003, 2, "52:54:00:12:34:56"},
                      {"office", 7, 2, 0x1003, 2, "52:54:00:12:34:57"}}),
              "eth0"},
             {"a bridge whose port's address was set: the older interface stays",
              answer({{"lan", 5, 5, 0x1003, 3, "02:00:00:00:00:01"},
                      {"enp3s0", 3, 3, 0x1003, 3, "02:00:00:00:00:01"}}),
              "enp3s0"},
             {"without the netclass collector",
              answer({lo, eth0Port, eth1Port, {"bond0", 4, 4, 0, 0, ""}, {"br0", 5, 5, 0, 0, ""}},
                     false),
              "eth0 eth1"},
             {"an exporter that shows the bond alone",
              answer({lo, {"bond0", 4, 4, 0x1403, 2, "52:54:00:12:34:56"}}), "bond0"},
         })
        EXPECT_EQ(c.counted, c.expected) << c.machine;
}

// Shares of all processors' time and rates per second between two answers;
// counters that went back give no spike.
TEST(NodeMetrics, RatesBetweenTwoAnswers) {
    NodeMetrics before, now;
    before.hasCpu = now.hasCpu = true;
    before.cpuUser = 100, before.cpuSystem = 50, before.cpuNice = 0, before.cpuIdle = 850;
    now.cpuUser = 130, now.cpuSystem = 60, now.cpuNice = 2, now.cpuIdle = 858;
    before.network = {{"eth0", {1000, 500}}, {"eth1", {9e9, 9e9}}};
    now.network = {{"eth0", {3000, 400}}, {"wlan0", {5e9, 5e9}}};
    before.disks = {{"sda", {0, 0}}};
    now.disks = {{"sda", {4096, 8192}}};
    now.memTotal = 1000, now.memAvailable = 250;
    const NodeRates rates = nodeRates(before, now, 2.0);
    EXPECT_FLOAT_EQ(*rates.user, 0.6f);
    EXPECT_FLOAT_EQ(*rates.system, 0.2f);
    EXPECT_FLOAT_EQ(*rates.nice, 0.04f);
    EXPECT_FLOAT_EQ(rates.inBytes, 1000.0f);
    EXPECT_FLOAT_EQ(rates.outBytes, 0.0f);
    EXPECT_FLOAT_EQ(rates.readBytes, 2048.0f);
    EXPECT_FLOAT_EQ(rates.writtenBytes, 4096.0f);
    EXPECT_FLOAT_EQ(*rates.memoryUsed, 0.75f);

    // The machine restarted: its processors' time went back.
    EXPECT_FALSE(nodeRates(now, before, 2.0).user);

    // Counters that are each finite but whose sums are not (1.7e308 twice)
    // give no share and no rate that is not a number.
    const std::optional<NodeMetrics> parsed =
        parseNodeMetrics("node_cpu_seconds_total{cpu=\"0\",mode=\"user\"} 1.7e308\n"
                         "node_cpu_seconds_total{cpu=\"1\",mode=\"user\"} 1.7e308\n"
                         "node_cpu_seconds_total{cpu=\"0\",mode=\"idle\"} 1.7e308\n"
                         "node_network_receive_bytes_total{device=\"eth0\"} 1.7e308\n");
    ASSERT_TRUE(parsed);
    const NodeMetrics& huge = *parsed;
    NodeMetrics small = huge;
    small.cpuUser = small.cpuIdle = 1;
    small.network = {{"eth0", {1, 1}}};
    const NodeRates overflowing = nodeRates(small, huge, 1e-300);
    for (const float value : {overflowing.user.value_or(0), overflowing.system.value_or(0),
                              overflowing.inBytes, overflowing.outBytes})
        EXPECT_TRUE(std::isfinite(value));
}

} // namespace
