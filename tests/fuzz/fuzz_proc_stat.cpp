// /proc/stat text, and the shares computed between any two of its processors.
#include "kernel/CPULoad.h"
#include "kernel/ProcStat.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto snapshot =
        parseProcStat(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!snapshot)
        return 0;
    const ProcessorTicks* previous = nullptr;
    for (int n = 0; n < snapshot->processorCount(); ++n) {
        const ProcessorTicks* current = snapshot->processor(n);
        if (!current)
            continue;
        const CPULoad load = cpuLoadBetween(previous ? *previous : ProcessorTicks{}, *current);
        for (float share : {load.user, load.system, load.idle, load.nice})
            if (!(share >= 0.0f && share <= 1.0f))
                std::abort();
        if (std::fabs(load.user + load.system + load.idle + load.nice - 1.0f) > 1e-3f)
            std::abort();
        previous = current;
    }
    return 0;
}
