#include "kernel/MemoryLoad.h"

#include <QByteArray>

#include <algorithm>
#include <optional>

namespace {

// The kB value of one "Name:   1234 kB" line, if the text has it.
std::optional<double> field(QByteArrayView text, QByteArrayView name) {
    qsizetype at = 0;
    while ((at = text.indexOf(name, at)) >= 0) {
        const bool lineStart = at == 0 || text[at - 1] == '\n';
        const qsizetype colon = at + name.size();
        if (lineStart && colon < text.size() && text[colon] == ':') {
            qsizetype end = text.indexOf('\n', colon);
            if (end < 0)
                end = text.size();
            bool ok = false;
            QByteArray value = text.sliced(colon + 1, end - colon - 1).toByteArray().trimmed();
            if (value.endsWith(" kB"))
                value.chop(3);
            const double kB = value.trimmed().toDouble(&ok);
            return ok && kB >= 0 ? std::optional<double>(kB) : std::nullopt;
        }
        at = colon;
    }
    return std::nullopt;
}

} // namespace

std::optional<MemoryUse> memoryUseOf(QByteArrayView meminfo) {
    const auto total = field(meminfo, "MemTotal");
    if (!total || *total <= 0)
        return std::nullopt;
    const double cache =
        field(meminfo, "Cached").value_or(0) + field(meminfo, "Buffers").value_or(0);
    const double available =
        field(meminfo, "MemAvailable").value_or(field(meminfo, "MemFree").value_or(0) + cache);
    MemoryUse use;
    use.used = float(std::clamp(1.0 - available / *total, 0.0, 1.0));
    use.cache = float(std::clamp(cache / *total, 0.0, 1.0 - double(use.used)));
    return use;
}
