// A stand-in for NVIDIA's libnvidia-ml.so.1 with the same C signatures, for
// the tests: QUORVEL_STAND_IN_NVML, read at nvmlInit_v2, makes it answer
// (two devices), fail to start, hang in every reading, or lose its devices
// after their first reading.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

struct Card {
    const char* name;
    unsigned long long total, used;
    unsigned busy, celsius;
};
const Card cards[] = {{"NVIDIA GeForce RTX 4090", 24ull << 30, 6ull << 30, 42, 61},
                      {"Tesla T4", 16ull << 30, 1ull << 30, 7, 45}};
enum class Mode { Answers, Fails, Hangs, Vanishes } mode;
int readings = 0;

const Card* cardOf(void* device) {
    return static_cast<const Card*>(device);
}

} // namespace

extern "C" {

int nvmlInit_v2() {
    const char* wanted = std::getenv("QUORVEL_STAND_IN_NVML");
    const auto is = [wanted](const char* name) { return wanted && !std::strcmp(wanted, name); };
    mode = is("fails")      ? Mode::Fails
           : is("hangs")    ? Mode::Hangs
           : is("vanishes") ? Mode::Vanishes
                            : Mode::Answers;
    readings = 0;
    return mode == Mode::Fails ? 9 : 0; // NVML_ERROR_DRIVER_NOT_LOADED
}

int nvmlShutdown() {
    return 0;
}

int nvmlDeviceGetCount_v2(unsigned* count) {
    *count = 2;
    return 0;
}

int nvmlDeviceGetHandleByIndex_v2(unsigned index, void** device) {
    if (index >= 2 || (mode == Mode::Vanishes && readings >= 1))
        return 15; // NVML_ERROR_GPU_IS_LOST
    *device = const_cast<Card*>(&cards[index]);
    return 0;
}

int nvmlDeviceGetUtilizationRates(void* device, unsigned* rates) {
    while (mode == Mode::Hangs)
        std::this_thread::sleep_for(std::chrono::seconds(1));
    ++readings;
    rates[0] = cardOf(device)->busy;
    rates[1] = 0;
    return 0;
}

int nvmlDeviceGetMemoryInfo(void* device, unsigned long long* memory) {
    memory[0] = cardOf(device)->total;
    memory[1] = cardOf(device)->total - cardOf(device)->used;
    memory[2] = cardOf(device)->used;
    return 0;
}

int nvmlDeviceGetTemperature(void* device, int, unsigned* celsius) {
    *celsius = cardOf(device)->celsius;
    return 0;
}

int nvmlDeviceGetName(void* device, char* name, unsigned length) {
    std::strncpy(name, cardOf(device)->name, length);
    return 0;
}
}
