// /proc/net/dev text as the helper parses it; two halves of the input are two
// snapshots in a row.
#include "NetDev.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t half = text.size() / 2;
    netdev::IntervalAccumulator totals([](const std::string& name) { return name != "lo"; });
    for (std::string_view part : {text.substr(0, half), text.substr(half), text}) {
        if (const auto snapshot = netdev::parseNetDev(part)) {
            if (const auto interval = totals.update(*snapshot))
                (void)netdev::formatIntervalLine(*interval);
        }
    }
    return 0;
}
