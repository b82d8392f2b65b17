#pragma once

#include "graphs/GraphView.h"
#include "kernel/CPULoad.h"

#include <array>
#include <deque>
#include <optional>

// The load graph of one processor, or of a run of processors taken together
// where there are more processors than the screen has room for graphs. While
// it is in a window it samples its processors every "CPUInterval" seconds and
// redraws a row of one-unit columns, oldest at the left: the user share
// stacked on the baseline, system above it, nice above that; idle is the
// empty space on top. Once 62 columns are full the
// graph scrolls left by one column per sample.
class CPUGraphView : public GraphView {
    Q_OBJECT
public:
    // Processors cpuNumber to cpuNumber + cpuCount − 1.
    CPUGraphView(const QRect& frame, int cpuNumber, int cpuCount = 1);
    ~CPUGraphView() override;

    // The number of processor graphs to show: one more than the highest
    // processor number online, so a graph's title is its processor's own
    // number even where an offline processor leaves a gap. 0 when the counters
    // cannot be read.
    static int getCPUCount();

    // The processors' shares since the previous successful sample (since boot
    // for the first), or nullopt when the counters cannot be read or every
    // processor of the graph is offline; the previous counters are then left
    // as they were.
    std::optional<CPULoad> _getCPULoad();

    // One tick: sample, append to the histories, redraw.
    void _drawGraph();
    void sampleTick() override { _drawGraph(); }

    int cpuNumber() const { return cpuNumber_; }
    int cpuCount() const { return cpuCount_; }
    // History of one share, oldest first: 0 user, 1 system, 2 nice.
    const std::deque<float>& history(int element) const {
        return cpuGraphElements_[std::size_t(element)].dataArray;
    }

private:
    struct GraphElement {
        float CPULoad::*cpuInfoKey; // the share this element plots
        QString fillColor;          // the settings key of its colour
        std::deque<float> dataArray;
    };

    int cpuNumber_;
    int cpuCount_;
    std::optional<ProcessorTicks> prevInfoArray_;
    std::array<GraphElement, 3> cpuGraphElements_;
};
