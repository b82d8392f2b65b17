#include "kernel/DiskStats.h"

#include "kernel/CounterGrowth.h"

#include <QFileInfo>

#include <array>
#include <charconv>

namespace {

constexpr std::uint64_t bytesPerSector = 512;

// The blank-separated words of one line, as many as fit.
template <std::size_t N>
std::size_t words(QByteArrayView line, std::array<QByteArrayView, N>& out) {
    std::size_t n = 0;
    qsizetype i = 0;
    while (n < N) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i == line.size())
            break;
        const qsizetype start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        out[n++] = line.sliced(start, i - start);
    }
    return n;
}

std::optional<std::uint64_t> number(QByteArrayView word) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size())
        return std::nullopt;
    return value;
}

} // namespace

DiskSnapshot parseDiskStats(QByteArrayView text,
                            const std::function<bool(const std::string&)>& counts) {
    DiskSnapshot snapshot;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        // major minor name reads merged sectors-read ms writes merged sectors-written
        std::array<QByteArrayView, 10> w;
        if (words(line, w) < w.size() || !number(w[0]) || !number(w[1]))
            continue;
        const auto read = number(w[5]);
        const auto written = number(w[9]);
        if (!read || !written)
            continue;
        const std::string name(w[2].data(), std::size_t(w[2].size()));
        if (counts(name))
            snapshot[name] = {*read * bytesPerSector, *written * bytesPerSector};
    }
    return snapshot;
}

bool isWholeDisk(const QString& sysBlock, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return false;
    return QFileInfo::exists(sysBlock + u'/' + QString::fromStdString(name) +
                             QStringLiteral("/device"));
}

bool WholeDisks::operator()(const std::string& name) {
    if (const auto known = current_.find(name); known != current_.end())
        return known->second;
    const auto before = previous_.find(name);
    const bool whole = before != previous_.end() ? before->second : ask_(name);
    current_.emplace(name, whole);
    return whole;
}

void WholeDisks::endListing() {
    previous_ = std::move(current_);
    current_.clear();
}

std::optional<DiskBytes> DiskDeltas::update(const DiskSnapshot& current) {
    std::optional<DiskBytes> result;
    if (previous_) {
        DiskBytes sum;
        forEachKeptDevice(
            *previous_, current,
            [&sum](const std::string&, const DiskBytes& now, const DiskBytes& before) {
                sum.read += grewBy(now.read, before.read);
                sum.written += grewBy(now.written, before.written);
            });
        result = sum;
    }
    previous_ = current;
    return result;
}
