#pragma once

#include <QByteArrayView>
#include <QStringList>

#include <cstdint>
#include <optional>

// The byte counters of one line of the network helper's output.
struct NetstatSample {
    std::uint64_t inBytes = 0;
    std::uint64_t outBytes = 0;
};

// Scans one chunk of the helper's output on its own, the way sscanf with
// "%d %d %d %d %d %d %d" would: white space (line ends included) before each
// number is skipped, the scan stops at the first byte that cannot continue a
// number and never reads past the chunk. The counters are unsigned 64-bit, so
// no realistic rate overflows them.
//
// A sample comes only from a chunk whose first six numbers were all read: a
// heading, a cut line or stray text gives none, and so does a negative or
// out-of-range number, which no real counter is.
std::optional<NetstatSample> scanNetstatChunk(QByteArrayView chunk);

// The interface names of a /proc/net/dev text, in its order: the names before
// the ':' of its interface lines.
QStringList interfaceNames(QByteArrayView procNetDev);
