#include "GraphSignals.h"

#include "filters/DelayLine.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int rate = 44100;

std::vector<float> ramp(int count)
{
    std::vector<float> r(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        r[static_cast<std::size_t>(i)] = static_cast<float>(i);
    return r;
}

} // namespace

TEST(DelayLine, WithoutDelayHandsTheInputBlockOnAndHoldsLongDelaysAtTheLongest)
{
    wave::Graph graph;
    graph.setSampleRate(static_cast<float>(rate));
    const auto signal = ramp(rate * 2);
    Playback in(graph, signal);
    DelayLine line(graph, 50.0f, &in);

    testsupport::AllocationScope scope;
    for (int frame = 0; frame < 8; ++frame) {
        graph.nextFrame();
        const wave::Block& out = line.pull(512);
        ASSERT_EQ(&out, &in.getBlock());
        graph.advance(512);
    }
    expectNoAllocations(scope);

    // Asked for 80 ms, the line settles on its longest, 50 ms: 2205 samples.
    line.delay.setDefault(80.0f);
    std::vector<float> out(8 * 512);
    renderInto(out, graph, line, rate * 2 - 8 * 512, 500);
    for (std::size_t i = out.size() - 1000; i < out.size(); ++i)
        ASSERT_EQ(out[i], signal[i - 2205]) << i;
}

TEST(DelayLine, CrossfadesToANewDelayWithoutADiscontinuity)
{
    wave::Graph graph;
    const auto signal = sine(rate * 3, 300.0f, 0.5f);
    Playback in(graph, signal);
    DelayLine line(graph, 50.0f, &in);
    std::vector<float> out;
    out.reserve(signal.size());

    testsupport::AllocationScope scope;
    renderInto(out, graph, line, rate / 2, 300);
    line.delay.setDefault(12.0f);
    renderInto(out, graph, line, rate * 3 / 2, 300);
    line.delay.setDefault(3.0f);
    renderInto(out, graph, line, rate, 300);
    expectNoAllocations(scope);

    // No step larger than the sine itself makes, plus what the fade adds: its
    // gain moves by at most 1.8 ln(10) / 3748 per sample, times the largest
    // difference between the two heads (twice the amplitude). A click would
    // be a step of the order of the amplitude.
    const float sineStep = largestStep(signal, 0, signal.size());
    const float fadeSlope = 1.8f * std::log(10.0f) / 3748.0f;
    EXPECT_LE(largestStep(out, 0, out.size()), sineStep + fadeSlope * 2.0f * 0.5f);
    // Settled, each delay is a whole number of samples: 12 ms is 529, 3 ms 132.
    for (std::size_t i = rate * 2 - 1000; i < rate * 2; ++i)
        ASSERT_EQ(out[i], signal[i - 529]) << i;
    for (std::size_t i = out.size() - 1000; i < out.size(); ++i)
        ASSERT_EQ(out[i], signal[i - 132]) << i;
}

TEST(DelayLine, FadesFollowTheEightyFiveMillisecondLaw)
{
    // On a ramp x[i] = i the output tells the delay it reads: i - out[i] =
    // Da + (1 - g)(Do - Da) while fading from the active head Da to the new
    // one Do, so each fade exposes its gain curve g.
    wave::Graph graph;
    Playback in(graph, ramp(rate * 2));
    DelayLine line(graph, 50.0f, &in);
    line.delay.setDefault(25.0f);
    const auto out = render(graph, line, rate * 2, 441);
    const int fadeLength = static_cast<int>(44.1 * 85.0); // 3748

    int fadesChecked = 0;
    for (int start = fadeLength; start + fadeLength < rate * 2; start += fadeLength) {
        const double from = start - static_cast<double>(out[static_cast<std::size_t>(start)]);
        const double to =
            start + fadeLength - static_cast<double>(out[static_cast<std::size_t>(start + fadeLength)]);
        if (to - from < 20.0)
            continue;
        ++fadesChecked;
        for (int k = 0; k < fadeLength; k += 97) {
            const std::size_t i = static_cast<std::size_t>(start + k);
            const double g =
                1.0 - ((static_cast<double>(i) - static_cast<double>(out[i])) - from) / (to - from);
            const double t = 1.0 - static_cast<double>(k) / fadeLength;
            const double expected =
                t > 0.1 ? std::pow(10.0, -1.8 * (1.0 - t)) : std::exp(-3.73018784447434) * 10 * t;
            ASSERT_NEAR(g, expected, 2e-3) << "fade at " << start << ", k = " << k;
        }
    }
    EXPECT_GE(fadesChecked, 3);
}

TEST(DelayLine, InterpolatingReadFollowsFractionalDelays)
{
    wave::Graph graph;
    Playback in(graph, ramp(rate * 2));
    DelayLine line(graph, 50.0f, &in);
    line.readMode = DelayLine::interpolating;
    line.delay.setDefault(2.5f); // 110.25 samples
    const auto out = render(graph, line, rate * 2, 500);
    for (std::size_t i = out.size() - 2000; i < out.size(); ++i)
        ASSERT_NEAR(out[i], static_cast<float>(i) - 110.25f, 0.02f) << i;
    // The glide of the smoother is critically damped: no overshoot.
    for (std::size_t i = 1; i < out.size(); ++i)
        ASSERT_LE(static_cast<float>(i) - out[i], 110.25f + 0.02f) << i;
}

// Settings restored before playing (or after a bypass) hold from the first
// sample instead of gliding from the delay the line had; a line whose output
// nobody reads keeps writing, and a reset empties it.
TEST(DelayLine, AResetEmptiesTheLineAndEndsTheGlideAndUnreadFramesStillWrite)
{
    wave::Graph graph;
    const auto signal = ramp(rate);
    Playback in(graph, signal);
    DelayLine line(graph, 50.0f, &in);
    line.delay.setDefault(5.0f); // 220 samples
    graph.reset();
    auto out = render(graph, line, rate / 2, 256);
    for (int frame = 0; frame < 4; ++frame) {
        graph.nextFrame();
        line.pull(256, wave::Producer::OutputNotNeeded);
        graph.advance(256);
    }
    out.resize(out.size() + 1024); // the skipped frames
    renderInto(out, graph, line, 1024, 256);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i < rate / 2 || i >= out.size() - 1024) {
            ASSERT_EQ(out[i], i < 220 ? 0.0f : signal[i - 220]) << i;
        }
    }

    line.delay.setDefault(12.0f); // 529 samples at 44.1 kHz
    graph.reset();
    const auto afterReset = render(graph, line, 1024, 256);
    for (std::size_t i = 0; i < afterReset.size(); ++i)
        ASSERT_EQ(afterReset[i], i < 529 ? 0.0f : signal[out.size() + i - 529]) << i;
}
