#pragma once

#include "kernel/GPUSource.h"

#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class ProcFile;

// The GPUs that the kernel's DRM drivers show under /sys/class/drm, read
// without root and without perf events:
// - amdgpu: device/gpu_busy_percent, device/mem_info_vram_used and
//   mem_info_vram_total, and the hardware monitor beside them;
// - i915: the render engine's idle time (gt/gt0/rc6_residency_ms, or
//   power/rc6_residency_ms on older kernels), turned into busy time between
//   two readings;
// - xe: the same from device/tile0/gt0/gtidle/idle_residency_ms.
// A card that is runtime-suspended is not read beyond its power state, which
// does not wake it.

enum class GPUDriver { AMD, Intel };

struct GPUCard {
    QString name;   // the DRM card's folder: "card0"
    QString title;  // for the graph: "AMD", or "AMD 1" beside another AMD card
    int number = 0; // of the DRM card
    GPUDriver driver = GPUDriver::AMD;
    QString folder;          // drmRoot/card0
    QString idlePath;        // Intel: the idle time in ms, counting up
    quint64 memoryTotal = 0; // bytes of the card's own memory, 0 where it shares the system's
    QString temperaturePath; // the hardware monitor's temp1_input beside it, if any
};

// Every card under drmRoot that one of the readers knows, in the cards'
// number order (card0-DP-1 and other connectors are not cards).
std::vector<GPUCard> gpuCards(const QString& drmRoot);

// A sysfs number: one unsigned decimal, maybe with a newline.
std::optional<quint64> sysfsNumber(QByteArrayView text);
// gpu_busy_percent (0 to 100) as a share.
std::optional<float> busyShareOfPercent(QByteArrayView text);
// The driver a uevent file names (DRIVER=amdgpu), empty without one.
QByteArrayView driverOfUevent(QByteArrayView uevent);
// The driver of a DRM card's device, from its uevent file, read without ever
// waiting (a FIFO in its place is refused); empty where it says none.
QByteArray cardDriver(const QString& cardFolder);
// Whether a runtime_status says the device sleeps (or is going to).
bool isRuntimeSuspended(QByteArrayView runtimeStatus);
// The busy share of an interval from an idle-time counter in milliseconds:
// 1 − idle/elapsed, within 0 to 1. Nothing when no time passed or the
// counter went back (a reset, a driver reloaded).
std::optional<float> busyFromIdle(quint64 idleBeforeMs, quint64 idleNowMs, quint64 elapsedMs);

// Reads one card each time it is asked, keeping what the next reading needs
// (Intel's last idle time).
class GPUCardReader : public GPUSource {
public:
    explicit GPUCardReader(GPUCard card);
    ~GPUCardReader() override;
    const GPUCard& card() const { return card_; }
    // Nothing when the card is gone (unplugged, its driver unloaded).
    std::optional<GPUReading> read(quint64 nowMs) override;

private:
    GPUCard card_;
    // The attributes read at every tick, each with its descriptor kept.
    std::unique_ptr<ProcFile> power_, busy_, used_, total_, idle_, temperature_;
    std::optional<quint64> lastIdleMs_, lastReadMs_;
};
