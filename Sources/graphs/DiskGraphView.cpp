#include "graphs/DiskGraphView.h"

#include "kernel/ProcFile.h"
#include "settings/SettingsKeys.h"

#include <memory>

namespace {

std::function<bool(const std::string&)> askingSysBlock(const QString& sysBlock) {
    return [sysBlock](const std::string& name) { return isWholeDisk(sysBlock, name); };
}

struct Sources {
    std::unique_ptr<ProcFile> diskStats = std::make_unique<ProcFile>("/proc/diskstats");
    WholeDisks wholeDisks{askingSysBlock(QStringLiteral("/sys/block"))};
};

// One reader for every disk graph, so its descriptor is kept between them.
Sources& sources() {
    static Sources s;
    return s;
}

} // namespace

DiskGraphView::DiskGraphView(const QRect& frame, QWidget* parent) : GraphView(frame, parent) {
    setTitle(tr("Disk"));
}

void DiskGraphView::setSources(const QString& diskStatsPath, const QString& sysBlockPath) {
    sources().diskStats = std::make_unique<ProcFile>(diskStatsPath.toStdString());
    sources().wholeDisks = WholeDisks(askingSysBlock(sysBlockPath));
}

void DiskGraphView::sampleTick() {
    static bool told = false;
    const std::string* text =
        readCounters(*sources().diskStats, told, QStringLiteral("disk graph"));
    if (!text) {
        // The next good sample only sets a baseline.
        deltas_ = {};
        return;
    }
    WholeDisks& wholeDisks = sources().wholeDisks;
    const DiskSnapshot disks =
        parseDiskStats(QByteArrayView(text->data(), qsizetype(text->size())),
                       [&wholeDisks](const std::string& name) { return wholeDisks(name); });
    wholeDisks.endListing();
    const qint64 elapsedMs = sinceSample_.isValid() ? sinceSample_.restart() : 0;
    if (!sinceSample_.isValid())
        sinceSample_.start();
    const std::optional<DiskBytes> bytes = deltas_.update(disks);
    if (!bytes || elapsedMs <= 0)
        return;
    const float seconds = float(elapsedMs) / 1000.0f;
    appendToHistory(read_, float(bytes->read) / seconds);
    appendToHistory(written_, float(bytes->written) / seconds);
    drawHangingAndRising(read_, written_, SettingsKeys::DiskReadFillColor,
                         SettingsKeys::DiskWriteFillColor, SettingsKeys::DiskScale);
}
