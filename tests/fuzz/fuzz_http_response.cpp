// What a server may send, through the reader of HTTP answers: the first byte
// says in pieces of how many bytes it comes.
#include "remote/HttpResponse.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t piece = std::max<std::size_t>(1, data[0]);
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;
    constexpr qint64 largest = 4096;
    HttpResponse response(largest);
    for (std::size_t at = 0; at < length; at += piece)
        response.feed(QByteArrayView(bytes + at, qsizetype(std::min(piece, length - at))));
    const HttpResponse::Progress progress = response.closed();
    if (response.body().size() > largest)
        __builtin_trap();
    if (progress == HttpResponse::Progress::Complete &&
        (response.status() < 200 || response.status() > 999))
        __builtin_trap();
    return 0;
}
