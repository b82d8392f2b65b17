#pragma once

#include "graphs/GraphView.h"
#include "kernel/MemoryLoad.h"

#include <QString>

#include <array>
#include <deque>
#include <optional>

// The memory graph: while it is in a window it samples /proc/meminfo at the
// CPU graphs' interval (on their clock) and draws one-unit columns like
// theirs, the used share on the baseline and the cache above it; free memory
// is the empty space on top.
class MemGraphView : public GraphView {
    Q_OBJECT
public:
    explicit MemGraphView(const QRect& frame, QWidget* parent = nullptr);

    // Where the counters are read: /proc/meminfo, or a test's file.
    static void setMemInfoPath(const QString& path);

    // nullopt when the counters cannot be read.
    std::optional<MemoryUse> _getMemoryUse();
    // One tick: sample, append to the histories, redraw.
    void _drawGraph();
    void sampleTick() override { _drawGraph(); }

    // History of one share, oldest first: 0 used, 1 cache.
    const std::deque<float>& history(int element) const { return history_[std::size_t(element)]; }

private:
    std::array<std::deque<float>, 2> history_;
};
