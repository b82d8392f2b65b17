// What a GPU's sysfs files may hold, through the parsers Quorvel reads them
// with; the first 16 bytes also stand for two idle-time readings.
#include "kernel/GPUCards.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView text(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)sysfsNumber(text);
    if (const auto share = busyShareOfPercent(text); share && (*share < 0 || *share > 1))
        __builtin_trap();
    (void)driverOfUevent(text);
    (void)isRuntimeSuspended(text);
    if (size >= 16) {
        quint64 before = 0, now = 0;
        std::memcpy(&before, data, 8);
        std::memcpy(&now, data + 8, 8);
        if (const auto busy = busyFromIdle(before, now, 1000); busy && (*busy < 0 || *busy > 1))
            __builtin_trap();
    }
    return 0;
}
