#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

// Bytes read and written by the machine's whole disks, from /proc/diskstats.
struct DiskBytes {
    std::uint64_t read = 0;
    std::uint64_t written = 0;
};

using DiskSnapshot = std::map<std::string, DiskBytes>;

// The disks of a /proc/diskstats text that counts() accepts, by name. A line
// is "major minor name" and at least seven counters; the third and seventh
// count sectors read and written, which the kernel counts in 512 bytes
// whatever the disk's own sector size. Lines of another form are skipped.
DiskSnapshot parseDiskStats(QByteArrayView text,
                            const std::function<bool(const std::string&)>& counts);

// Whether a block device is a whole physical disk: one that /sys/block lists
// with a "device" link. Partitions are not in /sys/block; loop, ram, zram,
// device-mapper and md devices have no device of their own, and counting them
// would count their disks' bytes twice.
bool isWholeDisk(const QString& sysBlock, const std::string& name);

// Answers of whether a name is a whole disk, kept for as long as the name
// stays listed, so that /sys/block is asked once for each device rather than
// at every sample. A name missing from one listing is forgotten: a device
// that comes back under it is asked about anew.
class WholeDisks {
public:
    explicit WholeDisks(std::function<bool(const std::string&)> ask) : ask_(std::move(ask)) {}
    bool operator()(const std::string& name);
    // Ends a listing: the names it did not ask about are forgotten.
    void endListing();

private:
    std::function<bool(const std::string&)> ask_;
    std::map<std::string, bool> previous_, current_;
};

// Turns snapshots into the bytes of the interval between them: each disk
// gives its own growth, a counter that went back (a disk re-attached) gives
// nothing, a disk seen for the first time only sets its baseline, and one that
// vanished is forgotten, so neither makes a spike.
class DiskDeltas {
public:
    // nullopt for the first snapshot.
    std::optional<DiskBytes> update(const DiskSnapshot& current);

private:
    std::optional<DiskSnapshot> previous_;
};
