// What a peer of the single-copy socket may send.
#include "session/SingleCopy.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray received(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto request = SingleCopy::classifyRequest(received);
    if (request == SingleCopy::Request::Reopen && received != SingleCopy::reopenRequest())
        std::abort();
    return 0;
}
