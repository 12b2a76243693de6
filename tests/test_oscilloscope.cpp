// The oscilloscope window: where each trace starts, and that a steady tone
// stands still whatever the phase its samples arrive in.
#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <vector>

#include "ui/oscilloscope.h"

namespace bleeptone {
namespace {

TEST(Oscilloscope, TraceStartsAtTheNewestRisingZeroCrossing) {
    const struct {
        std::vector<float> samples;
        std::size_t shown, start;
    } rows[] = {
        {{-1, 1, -1, 1, -1, 1, -1, 1}, 4, 3},  // the crossings at 1, 3, 5, 7: 3 leaves four samples
        {{-1, 0, 1, 1, 1, 1}, 3, 1},           // zero counts as reached
        {{1, 1, -1, -1, 1, 1}, 2, 4},
        {{0.5f, 0.5f, 0.5f, 0.5f}, 2, 2},      // no crossing: the newest window
        {{-1, 1}, 4, 0},                       // fewer samples than shown
        {{1, -1, -1, -1, -1, 1}, 2, 4},        // the falling edge is no start
    };
    for (const auto& r : rows) EXPECT_EQ(traceStart(r.samples, r.shown), r.start);
}

TEST(Oscilloscope, ASteadyToneStandsStill) {
    // A square wave of 100 samples, caught at two different phases.
    auto square = [](int phase) {
        std::vector<float> s(4096);
        for (std::size_t i = 0; i < s.size(); ++i) s[i] = ((static_cast<int>(i) + phase) % 100) < 50 ? 0.5f : -0.5f;
        return s;
    };
    auto picture = [](const std::vector<float>& samples) {
        OscilloscopeWindow window;
        window.resize(400, 300);
        ScopeFrame frame;
        frame.traces[0] = samples;
        frame.muted[1] = true;
        window.setFrame(frame);
        return window.grab().toImage();
    };
    const QImage a = picture(square(0)), b = picture(square(37));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, picture(std::vector<float>(4096, 0.0f)));
}

}  // namespace
}  // namespace bleeptone
