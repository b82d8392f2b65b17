#pragma once

#include "graphs/GraphView.h"
#include "kernel/DiskStats.h"

#include <QElapsedTimer>

#include <deque>

// The disk graph: while it is in a window it reads /proc/diskstats at the CPU
// graphs' interval (on their clock) and draws the bytes per second the whole
// disks read, hanging from the top, and wrote, rising from the bottom, on a
// logarithmic scale ("DiskScale" decades fill half the height), as the network
// graph draws its traffic.
class DiskGraphView : public GraphView {
    Q_OBJECT
public:
    explicit DiskGraphView(const QRect& frame, QWidget* parent = nullptr);

    // Where the counters are read (/proc/diskstats) and which devices are
    // whole disks (/sys/block): a test's files instead.
    static void setSources(const QString& diskStatsPath, const QString& sysBlockPath);

    void sampleTick() override;
    const std::deque<float>& readHistory() const { return read_; }
    const std::deque<float>& writtenHistory() const { return written_; }

private:
    DiskDeltas deltas_;
    // The time between two samples, which the rates divide by: a late tick
    // covers more than one interval.
    QElapsedTimer sinceSample_;
    std::deque<float> read_;
    std::deque<float> written_;
};
