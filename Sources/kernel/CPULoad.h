#pragma once

#include "kernel/ProcStat.h"

// The shares of one processor's time since the previous sample, each from 0
// to 1, adding up to 1.
struct CPULoad {
    float user = 0.0f;
    float system = 0.0f;
    float idle = 0.0f;
    float nice = 0.0f;
};

// Shares of the ticks that elapsed between two readings of one processor.
//
// Linux's states map to the four shares the graph knows: system takes irq and
// softirq time; idle takes iowait and steal (waiting on a disk or for the
// hypervisor is not load this processor did). guest and guest_nice are already
// inside user and nice and are not kept at all.
//
// Each counter's delta is taken on its own and a counter that went backwards
// (per-processor idle and iowait do, under NO_HZ accounting and after CPU
// hotplug or resume) counts as 0, never as a huge unsigned difference. When no
// tick elapsed at all the result is fully idle, so the column stays empty.
CPULoad cpuLoadBetween(const ProcessorTicks& previous, const ProcessorTicks& current);
