#pragma once

#include "kernel/GPUSource.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class NVMLReader;

// A GPU one of the readers can read.
struct GPUDevice {
    QString id;    // "card0" for a DRM card, "nvidia0" for NVML's first device
    QString title; // short, for a graph's title: "AMD", "RTX 4090"
    quint64 memoryTotal = 0;
};

// The device a graph shows: the one the setting names, else the one with the
// most memory of its own, else the first. Nothing when there is none.
std::optional<std::size_t> chosenGPU(const std::vector<GPUDevice>& devices, const QString& setting);
// NVML's device name without the vendor's words ("NVIDIA GeForce RTX 4090"
// → "RTX 4090"), so that it fits a graph's title.
QString shortGPUName(const QString& name);
// Whether NVIDIA's driver runs a GPU here: a DRM card of the nvidia driver
// under drmRoot, or the driver's own /proc/driver/nvidia/gpus.
bool hasNVIDIADevice(const QString& drmRoot);

// Every GPU of this machine that a reader knows: the DRM cards, then NVML's
// devices. NVML is loaded (on a thread of its own) only where an NVIDIA GPU
// is present; until it has been looked at, the list is not settled.
class GPUDevices {
public:
    GPUDevices(const QString& drmRoot, const QString& nvmlLibrary);
    ~GPUDevices();
    GPUDevices(const GPUDevices&) = delete;
    GPUDevices& operator=(const GPUDevices&) = delete;

    bool settled() const;
    std::vector<GPUDevice> list() const;
    // Why NVIDIA's GPUs cannot be read, once settled; empty otherwise.
    QString problem() const;
    // The source of a device of list(); null for one that is not there.
    std::unique_ptr<GPUSource> open(const QString& id) const;

    // Whether this machine has a GPU that one of the readers knows, looked
    // at without loading NVML.
    static bool anyReadable(const QString& drmRoot);

private:
    QString drmRoot_;
    std::shared_ptr<NVMLReader> nvml_;
};
