#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// What Quorvel reads of another machine's Prometheus node_exporter: the
// counters its graphs need, from the Prometheus text format
// (`name{label="value",…} value [timestamp]` lines, `#` comments).
struct NodeMetrics {
    // node_cpu_seconds_total summed over the processors, by Quorvel's shares:
    // user, nice, system (with irq and softirq) and idle (with iowait and
    // steal, which peers count as idle, not load).
    bool hasCpu = false;
    double cpuUser = 0, cpuNice = 0, cpuSystem = 0, cpuIdle = 0;
    // node_network_{receive,transmit}_bytes_total of the interfaces whose
    // bytes are counted: each byte once, on the interface beneath any bond,
    // bridge or VLAN stacked over it.
    std::map<std::string, std::pair<double, double>> network;
    // node_disk_{read,written}_bytes_total of whole disks.
    std::map<std::string, std::pair<double, double>> disks;
    std::optional<double> memTotal, memAvailable;
};

// nullopt when no line of the text is a sample of these metrics: not a
// node_exporter's answer in the Prometheus text format (an error page,
// garbage, another exporter). Lines that cannot be read are skipped.
std::optional<NodeMetrics> parseNodeMetrics(std::string_view text);

// Which devices count, told by name (the other machine's /sys is out of
// reach; the netclass metrics, where an answer has them, tell more): not
// loopback, bonds, bridges, VLANs, veth pairs, container or VPN tunnels;
// whole disks, not partitions, device-mapper, md, loop or ram devices.
bool isCountedInterface(std::string_view name);
bool isCountedDisk(std::string_view name);
// The kinds of virtual device those rules leave out, by the start of the name
// (disks: followed by a number).
inline constexpr std::array<std::string_view, 23> virtualInterfaceKinds{
    "veth", "docker", "br",   "virbr",     "vnet",    "cni",     "flannel",   "cali",
    "tun",  "tap",    "wg",   "tailscale", "zt",      "vxlan",   "kube-ipvs", "dummy",
    "ifb",  "bond",   "team", "vlan",      "macvlan", "macvtap", "ipvlan"};
inline constexpr std::array<std::string_view, 8> virtualDiskKinds{"loop", "ram", "zram", "dm-",
                                                                  "md",   "sr",  "fd",   "nbd"};

// The rates and shares between two answers, `seconds` apart.
struct NodeRates {
    std::optional<float> user, system, nice; // shares of all processors' time
    float inBytes = 0, outBytes = 0;         // per second
    float readBytes = 0, writtenBytes = 0;   // per second
    std::optional<float> memoryUsed;         // share of the total
};
// Counters that went back (the machine restarted, a device came back) give
// no spike: a device's own decrease counts as 0, processors' time that went
// back gives no CPU shares.
NodeRates nodeRates(const NodeMetrics& before, const NodeMetrics& now, double seconds);
