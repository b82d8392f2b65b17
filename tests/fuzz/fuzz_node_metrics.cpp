// A node_exporter's answer as Quorvel reads it; two halves of the input are
// two answers in a row, turned into rates.
#include "remote/NodeMetrics.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto first = parseNodeMetrics(text.substr(0, size / 2));
    const auto second = parseNodeMetrics(text.substr(size / 2));
    if (first && second)
        (void)nodeRates(*first, *second, 1.0);
    return 0;
}
