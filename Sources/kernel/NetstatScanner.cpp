#include "kernel/NetstatScanner.h"

#include <array>

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

std::optional<NetstatSample> scanNetstatChunk(QByteArrayView chunk) {
    // ip ie ib op oe ob oc: packets, errors and bytes in and out, collisions.
    std::array<std::uint64_t, 7> counters{};
    std::size_t stored = 0;
    const char* p = chunk.data();
    const char* const end = chunk.data() + chunk.size();
    while (stored < counters.size()) {
        while (p != end && isSpace(*p))
            ++p;
        bool negative = false;
        if (p != end && (*p == '+' || *p == '-')) {
            negative = *p == '-';
            ++p;
        }
        if (p == end || *p < '0' || *p > '9')
            break;
        std::uint64_t value = 0;
        bool overflow = false;
        for (; p != end && *p >= '0' && *p <= '9'; ++p) {
            const unsigned digit = unsigned(*p - '0');
            if (value > (UINT64_MAX - digit) / 10)
                overflow = true;
            value = value * 10 + digit;
        }
        if (negative || overflow)
            return std::nullopt;
        counters[stored++] = value;
    }
    if (stored < 6)
        return std::nullopt;
    return NetstatSample{counters[2], counters[5]};
}

QStringList interfaceNames(QByteArrayView procNetDev) {
    QStringList names;
    for (QByteArrayView line :
         QByteArray::fromRawData(procNetDev.data(), procNetDev.size()).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        // The two heading lines have '|' and no ':' before it.
        if (colon <= 0 || line.first(colon).contains('|'))
            continue;
        const QByteArray name = line.first(colon).trimmed().toByteArray();
        if (!name.isEmpty() && !names.contains(QString::fromUtf8(name)))
            names << QString::fromUtf8(name);
    }
    return names;
}
