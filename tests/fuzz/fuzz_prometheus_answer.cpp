// What a Prometheus server (or anything at its address) may answer, through
// the reader of its answers and the machines' figures.
#include "remote/PrometheusAnswer.h"

#include <cmath>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const PrometheusAnswer answer = parsePrometheusAnswer(bytes);
    if (answer.series.size() > largestSeriesCount)
        __builtin_trap();
    for (const auto& [time, machines] : fleetReadings(answer.series)) {
        for (const auto& [instance, reading] : machines) {
            const NodeRates& rates = reading.rates;
            for (float share : {rates.user.value_or(0), rates.system.value_or(0),
                                rates.nice.value_or(0), rates.memoryUsed.value_or(0)})
                if (!(share >= 0 && share <= 1))
                    __builtin_trap();
            if (rates.inBytes < 0 || rates.outBytes < 0 || rates.readBytes < 0 ||
                rates.writtenBytes < 0)
                __builtin_trap();
        }
    }
    scrapeIntervalSeconds(bytes);
    return 0;
}
