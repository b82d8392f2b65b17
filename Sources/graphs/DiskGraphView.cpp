#include "graphs/DiskGraphView.h"

#include "graphs/SampleClock.h"
#include "kernel/ProcFile.h"
#include "session/SystemLog.h"
#include "settings/SettingsKeys.h"

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct Sources {
    std::unique_ptr<ProcFile> diskStats = std::make_unique<ProcFile>("/proc/diskstats");
    QString sysBlock = QStringLiteral("/sys/block");
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

DiskGraphView::~DiskGraphView() {
    if (sampleInterval_ > 0)
        SampleClock::remove(this, sampleInterval_);
}

void DiskGraphView::setSources(const QString& diskStatsPath, const QString& sysBlockPath) {
    sources().diskStats = std::make_unique<ProcFile>(diskStatsPath.toStdString());
    sources().sysBlock = sysBlockPath;
}

void DiskGraphView::viewWillMoveToWindow(QWidget* window) {
    SampleClock::followWindow(this, window, sampleInterval_);
    GraphView::viewWillMoveToWindow(window);
}

void DiskGraphView::sampleTick() {
    const std::string* text = sources().diskStats->read();
    if (!text) {
        // Said once: a file that cannot be read now will not be readable at
        // the next tick either. The next good sample only sets a baseline.
        static bool told = false;
        if (!std::exchange(told, true))
            systemLog(QStringLiteral("Cannot read %1 (%2); the disk graph stays empty.")
                          .arg(QString::fromStdString(sources().diskStats->path()),
                               QString::fromLocal8Bit(std::strerror(errno))));
        deltas_ = {};
        return;
    }
    const QString& sysBlock = sources().sysBlock;
    const DiskSnapshot disks = parseDiskStats(
        QByteArrayView(text->data(), qsizetype(text->size())),
        [&sysBlock](const std::string& name) { return isWholeDisk(sysBlock, name); });
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
