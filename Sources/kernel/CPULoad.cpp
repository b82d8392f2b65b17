#include "kernel/CPULoad.h"

#include <initializer_list>

CPULoad cpuLoadBetween(const ProcessorTicks& previous, const ProcessorTicks& current) {
    auto delta = [&](ProcessorTicks::Field f) -> std::uint64_t {
        const auto cur = current.fields[f];
        const auto prev = previous.fields[f];
        return cur >= prev ? cur - prev : 0;
    };
    using F = ProcessorTicks;
    // Summed in double: eight 64-bit deltas can overflow a 64-bit sum (only
    // garbage counters get there, but garbage must not give shares above 1).
    auto sum = [&](std::initializer_list<ProcessorTicks::Field> fields) {
        double total = 0.0;
        for (auto f : fields)
            total += double(delta(f));
        return total;
    };
    const double user = sum({F::User});
    const double nice = sum({F::Nice});
    const double system = sum({F::System, F::IRQ, F::SoftIRQ});
    const double idle = sum({F::Idle, F::IOWait, F::Steal});
    const double total = user + nice + system + idle;

    CPULoad load;
    if (total == 0.0) {
        load.idle = 1.0f;
        return load;
    }
    load.user = float(user / total);
    load.system = float(system / total);
    load.idle = float(idle / total);
    load.nice = float(nice / total);
    return load;
}
