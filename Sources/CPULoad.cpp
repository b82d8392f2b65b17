#include "CPULoad.h"

CPULoad cpuLoadBetween(const ProcessorTicks& previous, const ProcessorTicks& current) {
    auto delta = [&](ProcessorTicks::Field f) -> std::uint64_t {
        const auto cur = current.fields[f];
        const auto prev = previous.fields[f];
        return cur >= prev ? cur - prev : 0;
    };
    using F = ProcessorTicks;
    const std::uint64_t user = delta(F::User);
    const std::uint64_t nice = delta(F::Nice);
    const std::uint64_t system = delta(F::System) + delta(F::IRQ) + delta(F::SoftIRQ);
    const std::uint64_t idle = delta(F::Idle) + delta(F::IOWait) + delta(F::Steal);
    const std::uint64_t total = user + nice + system + idle;

    CPULoad load;
    if (total == 0) {
        load.idle = 1.0f;
        return load;
    }
    const float t = float(total);
    load.user = float(user) / t;
    load.system = float(system) / t;
    load.idle = float(idle) / t;
    load.nice = float(nice) / t;
    return load;
}
