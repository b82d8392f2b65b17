#pragma once

#include "graphs/GraphView.h"
#include "kernel/GPUDevices.h"

#include <QElapsedTimer>

#include <deque>
#include <memory>

// The GPU graph: while it is in a window it reads the chosen GPU ("GPUDevice";
// when none is chosen, the one with the most memory) at the CPU graphs'
// interval, on their clock. Each column fills the engine's load from the
// baseline and marks the share of the GPU's memory in use with a one-unit
// line; the title is the GPU's short name and, where known, its temperature.
// A GPU asleep, gone or not answering greys its columns and says so in the
// title, and comes back by itself.
class GPUGraphView : public GraphView {
    Q_OBJECT
public:
    explicit GPUGraphView(const QRect& frame, QWidget* parent = nullptr);
    ~GPUGraphView() override;

    // Where GPUs are looked for: /sys/class/drm and NVIDIA's libnvidia-ml.so.1,
    // or a test's tree and stand-in library.
    static void setSources(const QString& drmRoot, const QString& nvmlLibrary);
    static QString drmRoot();

    // The GPUs to choose from (NVIDIA's once NVML has been looked at).
    std::vector<GPUDevice> devices() const { return devices_->list(); }

    void sampleTick() override;
    // One entry a column, oldest first: the load share, the memory share (−1
    // where unknown), and 1 for a greyed column.
    const std::deque<float>& loadHistory() const { return load_; }
    const std::deque<float>& memoryHistory() const { return memory_; }
    const std::deque<float>& greyHistory() const { return grey_; }

private:
    // The source for the setting as it is now; false until there is one.
    bool openChosen();
    void drawHistory();

    std::unique_ptr<GPUDevices> devices_;
    std::unique_ptr<GPUSource> source_;
    QString chosenSetting_;
    QString deviceTitle_;
    quint64 deviceMemory_ = 0;
    QElapsedTimer clock_;
    std::deque<float> load_, memory_, grey_;
    int ticksWithoutLoad_ = 0;
    bool toldProblem_ = false, toldNone_ = false, toldNoLoad_ = false, toldGone_ = false;
};
