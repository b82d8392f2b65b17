#include "statwindow/FadeCurve.h"

namespace FadeCurve {

Tick tick(double elapsedSeconds, bool toFront) {
    float level = float(elapsedSeconds / duration);
    if (!toFront)
        level = 1.0f - level;
    // Tested in this order for both directions.
    if (level <= 0.0f)
        return {Tick::Action::EndOrderedOut, 1.0f};
    if (level >= 1.0f)
        return {Tick::Action::EndShown, 1.0f};
    return {Tick::Action::SetAlpha, level};
}

} // namespace FadeCurve
