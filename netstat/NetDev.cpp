#include "NetDev.h"

#include "kernel/CounterGrowth.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace netdev {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Reads up to fields.size() unsigned decimal numbers separated by blanks.
// Returns how many were read; stops at the first token that is not a number.
std::size_t readNumbers(std::string_view s, std::array<std::uint64_t, 16>& fields) {
    std::size_t count = 0;
    const char* p = s.data();
    const char* end = s.data() + s.size();
    while (count < fields.size()) {
        while (p != end && isBlank(*p))
            ++p;
        if (p == end)
            break;
        auto [next, ec] = std::from_chars(p, end, fields[count]);
        if (ec != std::errc() || (next != end && !isBlank(*next)))
            break;
        p = next;
        ++count;
    }
    return count;
}

} // namespace

std::optional<Snapshot> parseNetDev(std::string_view text) {
    Snapshot snapshot;
    bool sawInterface = false;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);

        // The name may itself hold a ':' (alias interfaces), so split at the last one.
        const std::size_t colon = line.rfind(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view name = trim(line.substr(0, colon));
        if (name.empty() || name.find('|') != std::string_view::npos)
            continue;
        std::array<std::uint64_t, 16> f{};
        if (readNumbers(line.substr(colon + 1), f) != f.size())
            continue;
        // Receive: bytes packets errs drop fifo frame compressed multicast;
        // transmit: bytes packets errs drop fifo colls carrier compressed.
        InterfaceCounters c;
        c.rxBytes = f[0];
        c.rxPackets = f[1];
        c.rxErrors = f[2];
        c.txBytes = f[8];
        c.txPackets = f[9];
        c.txErrors = f[10];
        c.collisions = f[13];
        snapshot[std::string(name)] = c;
        sawInterface = true;
    }
    if (!sawInterface)
        return std::nullopt;
    return snapshot;
}

std::optional<IntervalCounters> IntervalAccumulator::update(const Snapshot& current) {
    std::optional<IntervalCounters> result;
    if (previous_) {
        IntervalCounters sum;
        forEachKeptDevice(*previous_, current,
                          [&](const std::string& name, const InterfaceCounters& cur,
                              const InterfaceCounters& prev) {
                              if (!counts_(name))
                                  return;
                              sum.inPackets += grewBy(cur.rxPackets, prev.rxPackets);
                              sum.inErrors += grewBy(cur.rxErrors, prev.rxErrors);
                              sum.inBytes += grewBy(cur.rxBytes, prev.rxBytes);
                              sum.outPackets += grewBy(cur.txPackets, prev.txPackets);
                              sum.outErrors += grewBy(cur.txErrors, prev.txErrors);
                              sum.outBytes += grewBy(cur.txBytes, prev.txBytes);
                              sum.collisions += grewBy(cur.collisions, prev.collisions);
                          });
        result = sum;
    }
    previous_ = current;
    return result;
}

std::string headingLines(const std::vector<std::string>& namedInterfaces) {
    std::string names = "(Total)";
    if (!namedInterfaces.empty()) {
        names = "(";
        for (const std::string& name : namedInterfaces)
            names += (names.size() > 1 ? "," : "") + name;
        names += ")";
    }
    return "            input        " + names + "           output\n" +
           "   packets  errs      bytes    packets  errs      bytes colls\n";
}

std::string formatIntervalLine(const IntervalCounters& c) {
    char line[256];
    std::snprintf(
        line, sizeof line, "%10llu %5llu %10llu %10llu %5llu %10llu %5llu\n",
        static_cast<unsigned long long>(c.inPackets), static_cast<unsigned long long>(c.inErrors),
        static_cast<unsigned long long>(c.inBytes), static_cast<unsigned long long>(c.outPackets),
        static_cast<unsigned long long>(c.outErrors), static_cast<unsigned long long>(c.outBytes),
        static_cast<unsigned long long>(c.collisions));
    return line;
}

} // namespace netdev
