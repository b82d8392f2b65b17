#include "statwindow/FadeCurve.h"

#include <gtest/gtest.h>

namespace {

using Action = FadeCurve::Tick::Action;

TEST(FadeCurve, ThirdsThenAnExactEndAndALateTickEndsIt) {
    const double tick = FadeCurve::tickInterval;
    struct Case {
        double elapsed;
        bool toFront;
        Action action;
        float alpha;
    };
    for (const Case& c : {
             Case{tick, true, Action::SetAlpha, 0.33333334f},
             Case{2 * tick, true, Action::SetAlpha, 0.6666667f},
             Case{3 * tick, true, Action::EndShown, 1.0f},
             Case{tick, false, Action::SetAlpha, 0.6666666f},
             Case{2 * tick, false, Action::SetAlpha, 0.3333333f},
             Case{3 * tick, false, Action::EndOrderedOut, 1.0f}, // alpha back for the next showing
             Case{0.5, true, Action::EndShown, 1.0f},
             Case{0.5, false, Action::EndOrderedOut, 1.0f},
         }) {
        const FadeCurve::Tick got = FadeCurve::tick(c.elapsed, c.toFront);
        EXPECT_EQ(got.action, c.action) << c.elapsed << (c.toFront ? " in" : " out");
        EXPECT_NEAR(got.alpha, c.alpha, 1e-6f) << c.elapsed << (c.toFront ? " in" : " out");
    }
}

} // namespace
