#include "GraphSignals.h"

#include "filters/FilterAnalyzer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(FilterAnalyzer, SettlesOnTheLevelRelativeToTheThreshold)
{
    for (const float level : {0.0025f, 0.01f, 0.0f}) {
        SCOPED_TRACE(level);
        wave::Graph graph;
        Constant in(graph, level);
        FilterAnalyzer analyzer(graph, &in);
        const auto out = render(graph, analyzer, 44100, 1000);
        EXPECT_NEAR(out.back(), std::min(level / 0.005f, 1.0f), 1e-5f);
    }
}

TEST(FilterAnalyzer, FollowsWithItsTimeConstant)
{
    // From 0, a step to level x reaches x (1 - 1/e) after one time constant:
    // the one-pole follower in closed form. Odd block sizes exercise the
    // four-sample steps together with their remainders.
    wave::Graph graph(48000.0f);
    Constant in(graph, 0.004f);
    FilterAnalyzer analyzer(graph, &in);
    analyzer.timeConstant = 10.0f;
    analyzer.threshold = 0.01f;
    const auto out = render(graph, analyzer, 4800, 97);
    const double a = 1000.0 / (48000.0 * 10.0);
    for (const int n : {1, 7, 480, 1001, 4799}) {
        const double s = 0.004 * (1.0 - std::pow(1.0 - a, n + 1));
        EXPECT_NEAR(out[static_cast<std::size_t>(n)], s / 0.01, 1e-5) << n;
    }
    EXPECT_NEAR(out[479], 0.4 * (1.0 - std::exp(-1.0)), 2e-3);

    // The four-sample steps are the stream's, not the block's: any block
    // size gives the same samples.
    for (const int block : {1, 3, 1000}) {
        wave::Graph other(48000.0f);
        Constant level(other, 0.004f);
        FilterAnalyzer same(other, &level);
        same.timeConstant = 10.0f;
        same.threshold = 0.01f;
        EXPECT_EQ(render(other, same, 4800, block), out) << block;
    }

    // Output not needed: the follower still moves on; reset returns it to 0.
    const float before = analyzer.getFollowerState();
    graph.nextFrame();
    analyzer.pull(480, wave::Producer::OutputNotNeeded);
    EXPECT_GT(analyzer.getFollowerState(), before);
    graph.reset();
    EXPECT_EQ(analyzer.getFollowerState(), 0.0f);
}

TEST(FilterAnalyzer, ANonFiniteLevelDoesNotDisableTheDetector)
{
    // A NaN or an infinity in the input level (a broken plug-in before ours)
    // must not stick in the follower: once the input is silent, the gain
    // falls towards 0 again and auto-mute works.
    for (const float bad :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(bad);
        wave::Graph graph;
        std::vector<float> level(44100, 0.0f);
        std::fill_n(level.begin() + 1000, 50, bad);
        Playback in(graph, level);
        FilterAnalyzer analyzer(graph, &in);
        const auto out = render(graph, analyzer, 44100, 256);
        EXPECT_LT(out.back(), 1e-3f);
    }
}
