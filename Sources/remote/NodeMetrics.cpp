#include "remote/NodeMetrics.h"

#include "kernel/CounterGrowth.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

namespace {

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// The labels of a `{a="x", b = "y",}` block, each value as written between
// its quotes (escapes left in: see unescaped()). Filled into `labels`, whose
// room is kept from one line to the next, as views into the block. False
// when the block is malformed.
using Labels = std::vector<std::pair<std::string_view, std::string_view>>;
bool labelsOf(std::string_view block, Labels& labels) {
    labels.clear();
    std::size_t i = 0;
    while (i < block.size()) {
        while (i < block.size() && (block[i] == ' ' || block[i] == ','))
            ++i;
        if (i == block.size())
            break;
        const std::size_t equals = block.find('=', i);
        if (equals == std::string_view::npos)
            return false;
        std::size_t quote = equals + 1;
        while (quote < block.size() && block[quote] == ' ')
            ++quote;
        if (quote >= block.size() || block[quote] != '"')
            return false;
        std::string_view key = block.substr(i, equals - i);
        while (!key.empty() && key.back() == ' ')
            key.remove_suffix(1);
        std::size_t j = quote + 1;
        for (; j < block.size() && block[j] != '"'; ++j)
            if (block[j] == '\\' && j + 1 < block.size())
                ++j;
        if (j >= block.size())
            return false; // unterminated value
        // A key given twice keeps its last value.
        const auto same = std::find_if(labels.begin(), labels.end(),
                                       [key](const auto& label) { return label.first == key; });
        const std::string_view value = block.substr(quote + 1, j - quote - 1);
        if (same != labels.end())
            same->second = value;
        else
            labels.emplace_back(key, value);
        i = j + 1;
    }
    return true;
}

// A value as written, with its escaped quotes, backslashes and newlines
// (`\\n`) turned back into what they stand for.
std::string unescaped(std::string_view written) {
    std::string value;
    value.reserve(written.size());
    for (std::size_t j = 0; j < written.size(); ++j) {
        if (written[j] == '\\' && j + 1 < written.size()) {
            ++j;
            value += written[j] == 'n' ? '\n' : written[j];
        } else {
            value += written[j];
        }
    }
    return value;
}

std::optional<double> valueOf(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    const std::size_t end = text.find(' ');
    text = text.substr(0, end); // a timestamp may follow
    if (text.empty())
        return std::nullopt;
    double value = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || stop != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt; // NaN, ±Inf and garbage are no counts
    return value;
}

bool isDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isLetters(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// "<prefix><digits>", or the prefix alone.
bool isNumbered(std::string_view name, std::string_view prefix) {
    return startsWith(name, prefix) &&
           (name.size() == prefix.size() || isDigits(name.substr(prefix.size())));
}

// A partition of a disk named by letters (sda1, vdb2, xvda3, hdc1), or of a
// disk named by numbers (nvme0n1p2, mmcblk0p1).
bool isPartition(std::string_view name) {
    for (std::string_view kind : {"sd", "hd", "vd", "xvd"}) {
        if (!startsWith(name, kind))
            continue;
        const std::string_view rest = name.substr(kind.size());
        const std::size_t digits = rest.find_first_of("0123456789");
        if (digits != std::string_view::npos && digits > 0 && isLetters(rest.substr(0, digits)) &&
            isDigits(rest.substr(digits)))
            return true;
    }
    const std::size_t p = name.rfind('p');
    return (startsWith(name, "nvme") || startsWith(name, "mmcblk")) &&
           p != std::string_view::npos && p > 0 && isDigits(name.substr(p + 1)) &&
           std::isdigit(static_cast<unsigned char>(name[p - 1]));
}

// What an answer says of one network interface: its byte counters and, where
// the exporter's netclass collector runs, how the interface sits among the
// others.
struct InterfaceFacts {
    std::optional<double> received, sent;
    std::optional<double> index, link, flags, addressType;
    std::string address;
};

// The numbers an interface's lines give, each to its field (node_network_info
// gives the hardware address, a label).
constexpr std::pair<std::string_view, std::optional<double> InterfaceFacts::*> interfaceNumbers[] =
    {
        {"node_network_receive_bytes_total", &InterfaceFacts::received},
        {"node_network_transmit_bytes_total", &InterfaceFacts::sent},
        {"node_network_iface_id", &InterfaceFacts::index},
        {"node_network_iface_link", &InterfaceFacts::link},
        {"node_network_flags", &InterfaceFacts::flags},
        {"node_network_address_assign_type", &InterfaceFacts::addressType},
};

// The metrics Quorvel reads; the many other lines of an answer are passed
// over before their labels are read.
bool isWanted(std::string_view name) {
    for (const auto& [metric, field] : interfaceNumbers)
        if (name == metric)
            return true;
    return name == "node_cpu_seconds_total" || name == "node_network_info" ||
           name == "node_disk_read_bytes_total" || name == "node_disk_written_bytes_total" ||
           name == "node_memory_MemTotal_bytes" || name == "node_memory_MemAvailable_bytes";
}

constexpr unsigned kFlagMaster = 0x400; // IFF_MASTER: a bond's (or team's) own device
constexpr unsigned kFlagSlave = 0x800;  // IFF_SLAVE: a port of a bond
constexpr double kAddressPermanent = 0; // NET_ADDR_PERM: the hardware's own address

bool hasFlag(const InterfaceFacts& facts, unsigned flag) {
    return facts.flags && *facts.flags >= 0 && *facts.flags < 4294967296.0 &&
           (static_cast<unsigned long>(*facts.flags) & flag) != 0;
}

// Each byte counted once, as the local helper counts it: the interfaces the
// bytes cross last, not the software interfaces stacked over them. Names
// leave out the usual virtual kinds; where the netclass metrics are there,
// they also leave out a bond's own device (its ports carry its bytes), an
// interface stacked on another (a VLAN, macvlan or veth: its link is another
// interface), and of the interfaces that share one hardware address (a
// bridge and its port) those that are neither the address's owner nor a
// bond's port. A machine with nothing left (only virtual links, or an
// exporter that shows a bond alone) counts everything but loopback.
std::map<std::string, std::pair<double, double>>
countedTraffic(const std::map<std::string, InterfaceFacts>& interfaces) {
    std::map<std::string, const InterfaceFacts*> candidates;
    std::map<std::string, std::vector<std::string>> byAddress;
    for (const auto& [name, facts] : interfaces) {
        if (!facts.received && !facts.sent)
            continue;
        const bool stacked = facts.index && facts.link && *facts.index != *facts.link;
        if (!isCountedInterface(name) || hasFlag(facts, kFlagMaster) || stacked)
            continue;
        candidates[name] = &facts;
        if (!facts.address.empty() && facts.address != "00:00:00:00:00:00")
            byAddress[facts.address].push_back(name);
    }
    for (const auto& [address, names] : byAddress) {
        if (names.size() < 2)
            continue;
        const auto owns = [&candidates](const std::string& name) {
            const InterfaceFacts& facts = *candidates.at(name);
            return facts.addressType == kAddressPermanent || hasFlag(facts, kFlagSlave);
        };
        const bool someoneOwns = std::any_of(names.begin(), names.end(), owns);
        // Without an owner the interface made first (the lowest index) stays.
        const std::string first = *std::min_element(
            names.begin(), names.end(), [&candidates](const std::string& a, const std::string& b) {
                return candidates.at(a)->index.value_or(0) < candidates.at(b)->index.value_or(0);
            });
        for (const std::string& name : names)
            if (someoneOwns ? !owns(name) : name != first)
                candidates.erase(name);
    }
    std::map<std::string, std::pair<double, double>> traffic;
    for (const auto& [name, facts] : interfaces)
        if ((candidates.empty() ? name != "lo" : candidates.count(name) != 0) &&
            (facts.received || facts.sent))
            traffic[name] = {facts.received.value_or(0), facts.sent.value_or(0)};
    return traffic;
}

} // namespace

bool isCountedInterface(std::string_view name) {
    if (name.empty() || name == "lo")
        return false;
    // A VLAN is named "<parent>.<id>" or "vlan<id>"; bonds, teams and
    // bridges after their kind.
    if (name.find('.') != std::string_view::npos)
        return false;
    for (std::string_view virtualKind : virtualInterfaceKinds)
        if (startsWith(name, virtualKind))
            return false;
    return true;
}

bool isCountedDisk(std::string_view name) {
    if (name.empty() || isPartition(name))
        return false;
    for (std::string_view virtualKind : virtualDiskKinds)
        if (isNumbered(name, virtualKind))
            return false;
    return true;
}

std::optional<NodeMetrics> parseNodeMetrics(std::string_view text) {
    NodeMetrics metrics;
    std::map<std::string, InterfaceFacts> interfaces;
    Labels labels;
    bool sawSample = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        // A plain loop: find_first_of looks each character up in its set with
        // a call of its own, and most of an answer's lines are passed over here.
        std::size_t nameEnd = 0;
        while (nameEnd < line.size() && line[nameEnd] != '{' && line[nameEnd] != ' ')
            ++nameEnd;
        if (nameEnd == line.size() || nameEnd == 0)
            continue;
        const std::string_view name = line.substr(0, nameEnd);
        if (!isWanted(name))
            continue;
        std::string_view rest = line.substr(nameEnd);
        labels.clear();
        if (rest.front() == '{') {
            // The block ends at the first `}` outside a quoted value.
            std::size_t close = 1;
            for (bool quoted = false; close < rest.size(); ++close) {
                if (rest[close] == '\\' && quoted)
                    ++close;
                else if (rest[close] == '"')
                    quoted = !quoted;
                else if (rest[close] == '}' && !quoted)
                    break;
            }
            if (close >= rest.size())
                continue;
            if (!labelsOf(rest.substr(1, close - 1), labels))
                continue;
            rest = rest.substr(close + 1);
        }
        const std::optional<double> value = valueOf(rest);
        if (!value)
            continue;
        sawSample = true;
        const auto label = [&labels](std::string_view key) {
            for (const auto& [name, written] : labels)
                if (name == key)
                    return unescaped(written);
            return std::string();
        };
        if (name == "node_cpu_seconds_total") {
            const std::string mode = label("mode");
            metrics.hasCpu = true;
            if (mode == "user")
                metrics.cpuUser += *value;
            else if (mode == "nice")
                metrics.cpuNice += *value;
            else if (mode == "system" || mode == "irq" || mode == "softirq")
                metrics.cpuSystem += *value;
            else if (mode == "idle" || mode == "iowait" || mode == "steal")
                metrics.cpuIdle += *value;
        } else if (startsWith(name, "node_network_")) {
            InterfaceFacts& facts = interfaces[label("device")];
            if (name == "node_network_info")
                facts.address = label("address");
            for (const auto& [metric, field] : interfaceNumbers)
                if (name == metric)
                    facts.*field = *value;
        } else if (startsWith(name, "node_disk_")) {
            const std::string device = label("device");
            if (!isCountedDisk(device))
                continue;
            if (name == "node_disk_read_bytes_total")
                metrics.disks[device].first = *value;
            else if (name == "node_disk_written_bytes_total")
                metrics.disks[device].second = *value;
        } else if (name == "node_memory_MemTotal_bytes") {
            metrics.memTotal = *value;
        } else if (name == "node_memory_MemAvailable_bytes") {
            metrics.memAvailable = *value;
        }
    }
    if (!sawSample)
        return std::nullopt;
    interfaces.erase(std::string());
    metrics.network = countedTraffic(interfaces);
    return metrics;
}

namespace {

// The sum of each device's own growth.
std::pair<double, double> growth(const std::map<std::string, std::pair<double, double>>& before,
                                 const std::map<std::string, std::pair<double, double>>& now) {
    std::pair<double, double> sum{0, 0};
    forEachKeptDevice(before, now,
                      [&sum](const std::string&, const std::pair<double, double>& counts,
                             const std::pair<double, double>& old) {
                          sum.first += grewBy(counts.first, old.first);
                          sum.second += grewBy(counts.second, old.second);
                      });
    return sum;
}

} // namespace

NodeRates nodeRates(const NodeMetrics& before, const NodeMetrics& now, double seconds) {
    NodeRates rates;
    if (seconds <= 0)
        return rates;
    if (before.hasCpu && now.hasCpu) {
        const double user = now.cpuUser - before.cpuUser;
        const double nice = now.cpuNice - before.cpuNice;
        const double system = now.cpuSystem - before.cpuSystem;
        const double idle = now.cpuIdle - before.cpuIdle;
        const double total = user + nice + system + idle;
        if (user >= 0 && nice >= 0 && system >= 0 && idle >= 0 && total > 0 &&
            std::isfinite(total)) {
            rates.user = float(user / total);
            rates.nice = float(nice / total);
            rates.system = float(system / total);
        }
    }
    // Finite counters can still grow by more than a float holds in a second.
    const auto perSecond = [seconds](double growth) {
        const float rate = float(growth / seconds);
        return std::isfinite(rate) ? rate : 0.0f;
    };
    const auto [in, out] = growth(before.network, now.network);
    rates.inBytes = perSecond(in);
    rates.outBytes = perSecond(out);
    const auto [read, written] = growth(before.disks, now.disks);
    rates.readBytes = perSecond(read);
    rates.writtenBytes = perSecond(written);
    if (now.memTotal && now.memAvailable && *now.memTotal > 0)
        rates.memoryUsed =
            float(std::clamp((*now.memTotal - *now.memAvailable) / *now.memTotal, 0.0, 1.0));
    return rates;
}
