#pragma once

#include "kernel/NVMLLibrary.h"

#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// NVIDIA's GPUs read on a thread of their own, so that NVML never holds up
// Quorvel's main thread however slow or stuck the driver is. The graphs ask
// on their own clock: each reading() gives the last reading the thread made
// and asks it for the next; a reading still under way is not asked again. A
// thread stuck in NVML is left behind when the reader goes.
class NVMLReader {
public:
    explicit NVMLReader(const QString& libraryPath = QStringLiteral("libnvidia-ml.so.1"));
    ~NVMLReader();
    NVMLReader(const NVMLReader&) = delete;
    NVMLReader& operator=(const NVMLReader&) = delete;

    // Whether the library has been looked at (loaded, or found wanting).
    bool settled() const;
    // The devices, once settled; none where the library could not be used.
    std::vector<NVMLLibrary::Device> devices() const;
    // Why there are none: the library's absence or failure, empty otherwise.
    QString problem() const;
    // The last reading of device index, or nothing while none has come or
    // the device is gone; asks for the next. stuck is set when the reading
    // asked for before has still not come.
    std::optional<GPUReading> reading(unsigned index, bool* stuck = nullptr);

private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared, QString libraryPath);
    static void readWhenAsked(Shared& shared, NVMLLibrary& library);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};
