#pragma once

#include "kernel/GPUCards.h"

#include <QString>

#include <memory>
#include <optional>

// NVIDIA's GPUs through NVML, the library NVIDIA's driver ships
// (libnvidia-ml.so.1). It is loaded with dlopen only when asked, never
// linked, so that Quorvel runs the same where the driver is absent. Its calls
// can be slow or hang in a driver in trouble: callers keep them off the main
// thread (NVMLReader).
class NVMLLibrary {
public:
    // Loaded and initialised, or null with the reason in why.
    static std::unique_ptr<NVMLLibrary> open(const QString& path, QString* why);
    ~NVMLLibrary();
    NVMLLibrary(const NVMLLibrary&) = delete;
    NVMLLibrary& operator=(const NVMLLibrary&) = delete;

    unsigned deviceCount();
    struct Device {
        QString name;
        quint64 memoryTotal = 0;
    };
    // Nothing when there is no such device (any more).
    std::optional<Device> device(unsigned index);
    std::optional<GPUReading> read(unsigned index);

private:
    struct Functions;
    NVMLLibrary(void* handle, std::unique_ptr<Functions> functions);
    void* deviceHandle(unsigned index);

    void* handle_;
    std::unique_ptr<Functions> functions_;
};
