#pragma once

#include <QtGlobal>

#include <optional>

struct GPUReading {
    bool asleep = false;       // runtime-suspended: nothing else was read
    std::optional<float> busy; // share of the time the engine was busy, 0 to 1
    std::optional<quint64> memoryUsed;
    std::optional<quint64> memoryTotal;
    std::optional<float> celsius;
};

// One GPU's readings, whichever driver gives them: a DRM card's sysfs files
// or NVIDIA's NVML.
class GPUSource {
public:
    virtual ~GPUSource() = default;
    // This tick's reading (nowMs: a steady clock, for figures taken between
    // two readings). Nothing while the GPU is gone or its driver does not
    // answer.
    virtual std::optional<GPUReading> read(quint64 nowMs) = 0;
    // False while a reading asked for long ago has still not come.
    virtual bool answering() const { return true; }
};
