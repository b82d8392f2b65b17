#pragma once

// kernel/: the kernel's counters, read and turned into loads, with no Qt
// widgets and no display: /proc/stat, /proc/meminfo, the network helper's
// lines, and files read again through a kept descriptor. Pure functions with
// the I/O at the edges, so that tests feed them recorded text.

#include "kernel/ProcFile.h"

#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One processor's tick counters from a "cpuN" line of /proc/stat, in the
// kernel's order: user nice system idle iowait irq softirq steal. (guest and
// guest_nice are already inside user and nice and are not kept.)
struct ProcessorTicks {
    enum Field { User, Nice, System, Idle, IOWait, IRQ, SoftIRQ, Steal, FieldCount };
    std::array<std::uint64_t, FieldCount> fields{};
};

// The counters of all online processors, indexed by the N of their "cpuN" label.
// Offline processors have no line, so numbering can have gaps; their slots are
// empty.
struct ProcStatSnapshot {
    std::vector<std::optional<ProcessorTicks>> processors;

    const ProcessorTicks* processor(int number) const;
    // One more than the highest processor number present.
    int processorCount() const { return int(processors.size()); }
};

// Parses the text of /proc/stat; nullopt when it holds no "cpuN" line.
std::optional<ProcStatSnapshot> parseProcStat(std::string_view text);

// Reads /proc/stat for all CPU graphs. Every view asks for its own processor at
// its own tick, but ticks of equal interval fire together; a snapshot younger
// than maxAge is shared, so one interval costs one read and one parse whatever
// the number of processors, not one per view.
class ProcStatReader {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit ProcStatReader(std::string path = "/proc/stat",
                            std::chrono::milliseconds maxAge = std::chrono::milliseconds(20),
                            Clock clock = std::chrono::steady_clock::now);

    // The latest snapshot, or null with the reason in *error.
    std::shared_ptr<const ProcStatSnapshot> snapshot(QString* error = nullptr);

    // The reader the CPU graphs use; tests and benchmarks may install their own.
    static ProcStatReader& shared();
    static void setShared(ProcStatReader* reader);

private:
    ProcFile file_;
    std::chrono::milliseconds maxAge_;
    Clock clock_;
    std::shared_ptr<const ProcStatSnapshot> cached_;
    std::chrono::steady_clock::time_point cachedAt_{};
};
