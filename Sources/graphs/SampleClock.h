#pragma once

class GraphView;

// One repeating timer per sampling interval, ticking every graph of that
// interval in the order they joined (GraphView::sampleTick()), so that an
// interval costs one wake-up, one read of the counters and one paint, not one
// per graph.
namespace SampleClock {

void add(GraphView* view, int intervalMs);
void remove(GraphView* view, int intervalMs);

// Another source of samples of the same interval (the network helper) just
// delivered: the graphs tick with it, so that one wake-up and one paint serve
// both, and the timer stands back, firing only if that source misses a beat.
// False when no graph samples at that interval.
bool alongside(int intervalMs);

// "CPUInterval" in milliseconds, within its range: the interval of the CPU,
// memory, disk and temperature graphs.
int cpuIntervalMs();
// "NetInterval" in milliseconds: the interval of other machines' graphs.
int netIntervalMs();

// A graph joins the clock at wantedMs when it enters a window (one already sampling keeps its
// interval) and leaves it when it leaves; intervalMs is its interval while it samples, 0 otherwise.
void followWindow(GraphView* view, const void* window, int& intervalMs, int wantedMs);
// A graph on the clock moves to wantedMs, after the others already there.
void retime(GraphView* view, int& intervalMs, int wantedMs);

} // namespace SampleClock
