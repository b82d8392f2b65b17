#pragma once

// The stat window's fades: 0.1 s from fully visible to gone or back, computed
// from the time elapsed since the fade began, so late ticks never stretch it.
namespace FadeCurve {

// Single-precision constants widened to double, as the window's timer uses them.
constexpr double duration = double(0.1f);
constexpr double tickInterval = double(1.0f / 30.0f);

struct Tick {
    enum class Action {
        SetAlpha,     // the fade goes on; show alpha
        EndShown,     // fade in done: alpha 1, timer stops
        EndOrderedOut // fade out done: order out, alpha back to 1, timer stops
    };
    Action action;
    float alpha;
};

// What one tick of a fade does, elapsedSeconds after the fade started.
Tick tick(double elapsedSeconds, bool toFront);

} // namespace FadeCurve
