#include "kernel/NVMLLibrary.h"

#include <dlfcn.h>

#include <cstring>
#include <type_traits>

namespace {

// The few types and functions of NVML used here, as NVIDIA's NVML reference
// documents them. Every function returns an nvmlReturn_t, 0 for success.
using Return = int;
using DeviceHandle = struct nvmlDevice_st*;
struct Utilization {
    unsigned gpu;    // percent of the last sample period a kernel ran
    unsigned memory; // percent of it memory was read or written
};
struct Memory {
    unsigned long long total, free, used;
};
constexpr int temperatureOfTheDie = 0; // NVML_TEMPERATURE_GPU
constexpr unsigned nameLength = 96;    // NVML_DEVICE_NAME_V2_BUFFER_SIZE

} // namespace

struct NVMLLibrary::Functions {
    Return (*init)();
    Return (*shutdown)();
    Return (*count)(unsigned*);
    Return (*handleByIndex)(unsigned, DeviceHandle*);
    Return (*utilization)(DeviceHandle, Utilization*);
    Return (*memory)(DeviceHandle, Memory*);
    Return (*temperature)(DeviceHandle, int, unsigned*);
    Return (*name)(DeviceHandle, char*, unsigned);
};

std::unique_ptr<NVMLLibrary> NVMLLibrary::open(const QString& path, QString* why) {
    void* handle = ::dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        *why = QString::fromLocal8Bit(::dlerror());
        return nullptr;
    }
    auto functions = std::make_unique<Functions>();
    auto find = [handle, why](const char* name, auto& function) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(handle, name));
        if (!function)
            *why = QStringLiteral("NVML lacks %1").arg(QLatin1String(name));
        return function != nullptr;
    };
    if (!(find("nvmlInit_v2", functions->init) && find("nvmlShutdown", functions->shutdown) &&
          find("nvmlDeviceGetCount_v2", functions->count) &&
          find("nvmlDeviceGetHandleByIndex_v2", functions->handleByIndex) &&
          find("nvmlDeviceGetUtilizationRates", functions->utilization) &&
          find("nvmlDeviceGetMemoryInfo", functions->memory) &&
          find("nvmlDeviceGetTemperature", functions->temperature) &&
          find("nvmlDeviceGetName", functions->name))) {
        ::dlclose(handle);
        return nullptr;
    }
    if (const Return result = functions->init(); result != 0) {
        *why = QStringLiteral("nvmlInit_v2 failed with %1").arg(result);
        ::dlclose(handle);
        return nullptr;
    }
    return std::unique_ptr<NVMLLibrary>(new NVMLLibrary(handle, std::move(functions)));
}

NVMLLibrary::NVMLLibrary(void* handle, std::unique_ptr<Functions> functions)
    : handle_(handle), functions_(std::move(functions)) {}

NVMLLibrary::~NVMLLibrary() {
    functions_->shutdown();
    ::dlclose(handle_);
}

unsigned NVMLLibrary::deviceCount() {
    unsigned count = 0;
    return functions_->count(&count) == 0 ? count : 0;
}

void* NVMLLibrary::deviceHandle(unsigned index) {
    DeviceHandle device = nullptr;
    return functions_->handleByIndex(index, &device) == 0 ? device : nullptr;
}

std::optional<NVMLLibrary::Device> NVMLLibrary::device(unsigned index) {
    auto* handle = static_cast<DeviceHandle>(deviceHandle(index));
    if (!handle)
        return std::nullopt;
    char name[nameLength] = {};
    Device device;
    if (functions_->name(handle, name, nameLength) == 0)
        device.name = QString::fromUtf8(name, qsizetype(strnlen(name, nameLength)));
    Memory memory{};
    if (functions_->memory(handle, &memory) == 0)
        device.memoryTotal = memory.total;
    return device;
}

std::optional<GPUReading> NVMLLibrary::read(unsigned index) {
    auto* handle = static_cast<DeviceHandle>(deviceHandle(index));
    if (!handle)
        return std::nullopt;
    GPUReading reading;
    Utilization utilization{};
    if (functions_->utilization(handle, &utilization) == 0 && utilization.gpu <= 100)
        reading.busy = float(utilization.gpu) / 100.0f;
    Memory memory{};
    if (functions_->memory(handle, &memory) == 0 && memory.used <= memory.total) {
        reading.memoryUsed = memory.used;
        reading.memoryTotal = memory.total;
    }
    unsigned celsius = 0;
    if (functions_->temperature(handle, temperatureOfTheDie, &celsius) == 0 && celsius < 200)
        reading.celsius = float(celsius);
    // A device that answers nothing at all is as good as gone (fallen off
    // the bus: NVML then fails every call).
    if (!reading.busy && !reading.memoryUsed && !reading.celsius)
        return std::nullopt;
    return reading;
}
