#include "kernel/ProcStat.h"

#include <cerrno>
#include <charconv>
#include <cstring>

namespace {

// Processor numbers above this are not real and would make the table huge.
constexpr int maxProcessorNumber = 1 << 16;

ProcStatReader* installedShared = nullptr;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::optional<ProcessorTicks> parseFields(std::string_view rest) {
    ProcessorTicks ticks;
    const char* p = rest.data();
    const char* end = rest.data() + rest.size();
    // Older kernels print fewer fields; missing ones stay 0. At least user,
    // nice, system and idle must be there.
    std::size_t count = 0;
    while (count < ticks.fields.size()) {
        while (p != end && isBlank(*p))
            ++p;
        if (p == end)
            break;
        auto [next, ec] = std::from_chars(p, end, ticks.fields[count]);
        if (ec != std::errc() || (next != end && !isBlank(*next)))
            return std::nullopt;
        p = next;
        ++count;
    }
    if (count < 4)
        return std::nullopt;
    return ticks;
}

} // namespace

const ProcessorTicks* ProcStatSnapshot::processor(int number) const {
    if (number < 0 || number >= processorCount() || !processors[std::size_t(number)])
        return nullptr;
    return &*processors[std::size_t(number)];
}

std::optional<ProcStatSnapshot> parseProcStat(std::string_view text) {
    ProcStatSnapshot snapshot;
    bool any = false;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        const std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.size() < 4 || line.compare(0, 3, "cpu") != 0 || line[3] < '0' || line[3] > '9')
            continue; // the "cpu " total line and everything after the processors
        int number = 0;
        auto [after, ec] = std::from_chars(line.data() + 3, line.data() + line.size(), number);
        if (ec != std::errc() || number < 0 || number >= maxProcessorNumber ||
            after == line.data() + line.size() || !isBlank(*after))
            continue;
        auto ticks = parseFields(line.substr(std::size_t(after - line.data())));
        if (!ticks)
            continue;
        if (snapshot.processors.size() <= std::size_t(number))
            snapshot.processors.resize(std::size_t(number) + 1);
        snapshot.processors[std::size_t(number)] = *ticks;
        any = true;
    }
    if (!any)
        return std::nullopt;
    return snapshot;
}

ProcStatReader::ProcStatReader(std::string path, std::chrono::milliseconds maxAge, Clock clock)
    : file_(std::move(path)), maxAge_(maxAge), clock_(std::move(clock)) {}

std::shared_ptr<const ProcStatSnapshot> ProcStatReader::snapshot(QString* error) {
    const auto now = clock_();
    if (cached_ && now - cachedAt_ < maxAge_)
        return cached_;

    const std::string* text = file_.read();
    if (!text) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    auto parsed = parseProcStat(*text);
    if (!parsed) {
        if (error)
            *error = QStringLiteral("%1 holds no processor counters")
                         .arg(QString::fromStdString(file_.path()));
        return nullptr;
    }
    cached_ = std::make_shared<const ProcStatSnapshot>(std::move(*parsed));
    cachedAt_ = now;
    return cached_;
}

ProcStatReader& ProcStatReader::shared() {
    static ProcStatReader defaultReader;
    return installedShared ? *installedShared : defaultReader;
}

void ProcStatReader::setShared(ProcStatReader* reader) {
    installedShared = reader;
}
