// The network helper's output as the graph's reader scans it, chunk by chunk.
#include "kernel/NetstatScanner.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes, so that reading past the chunk is caught.
    std::vector<char> chunk(data, data + size);
    const auto sample = scanNetstatChunk(QByteArrayView(chunk.data(), qsizetype(chunk.size())));
    // Six numbers take at least 11 bytes: "1 1 1 1 1 1", or "9+9+9+9+9+9"
    // (a sign also starts the next number, as with sscanf).
    if (sample && size < 11)
        std::abort();
    return 0;
}
