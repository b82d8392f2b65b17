#pragma once

#include <QByteArrayView>

#include <optional>

// How full memory is, as shares of the total: in use (what cannot be
// reclaimed: the total less what the kernel counts as available) and cache
// (page cache and buffers, as far as it fits above the used share).
struct MemoryUse {
    float used = 0.0f;
    float cache = 0.0f;
};

// Reads the text of /proc/meminfo. nullopt when it has no usable MemTotal.
// Kernels before 3.14 give no MemAvailable; free memory plus cache stands in.
std::optional<MemoryUse> memoryUseOf(QByteArrayView meminfo);
