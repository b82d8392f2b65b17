// Interface counters from Linux's /proc/net/dev, and the per-interval totals that
// the helper prints. Pure functions and a small accumulator, no I/O, so that
// recorded files can drive them in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace netdev {

// The counters one interface line of /proc/net/dev carries that the helper uses.
struct InterfaceCounters {
    std::uint64_t rxBytes = 0;
    std::uint64_t rxPackets = 0;
    std::uint64_t rxErrors = 0;
    std::uint64_t txBytes = 0;
    std::uint64_t txPackets = 0;
    std::uint64_t txErrors = 0;
    std::uint64_t collisions = 0;
};

using Snapshot = std::map<std::string, InterfaceCounters>;

// The seven counters of one interval line, in the order the line prints them.
struct IntervalCounters {
    std::uint64_t inPackets = 0;
    std::uint64_t inErrors = 0;
    std::uint64_t inBytes = 0;
    std::uint64_t outPackets = 0;
    std::uint64_t outErrors = 0;
    std::uint64_t outBytes = 0;
    std::uint64_t collisions = 0;
};

// Parses the text of /proc/net/dev. Lines that are not interface lines (the two
// headings, or anything malformed) are skipped; nullopt only when no line at all
// could be read as an interface, which means the text is not /proc/net/dev.
std::optional<Snapshot> parseNetDev(std::string_view text);

// Decides which interfaces count towards the totals.
using InterfaceFilter = std::function<bool(const std::string& name)>;

// Keeps the previous snapshot and turns each new one into the counters of the
// interval between them. Each interface contributes its own deltas: a counter
// that went down (driver reset, interface re-created) contributes 0 for that
// interval, an interface seen for the first time only sets its baseline, and
// one that vanished is forgotten. Summing totals first and subtracting them
// would instead spike or go negative whenever an interface comes or goes.
class IntervalAccumulator {
public:
    explicit IntervalAccumulator(InterfaceFilter counts) : counts_(std::move(counts)) {}

    // nullopt for the first snapshot, which only sets the baseline.
    std::optional<IntervalCounters> update(const Snapshot& current);
    // After a snapshot could not be taken: the next one only sets the
    // baseline, so the bytes of the missed interval are never reported as
    // one interval's.
    void restart() { previous_.reset(); }

private:
    InterfaceFilter counts_;
    std::optional<Snapshot> previous_;
};

// The two heading lines, in the layout of BSD netstat's interval mode: the
// interfaces counted are named where they were chosen (-I), "(Total)" where
// all are. Neither line begins with a digit, so readers that scan for numbers
// skip them.
std::string headingLines(const std::vector<std::string>& namedInterfaces = {});

// One interval line: the seven counters separated by blanks, ending in '\n'.
std::string formatIntervalLine(const IntervalCounters& counters);

} // namespace netdev
