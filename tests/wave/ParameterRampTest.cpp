#include "wave/ParameterRamp.h"
#include "AllocationCounter.h"
#include "wave/FloatParameterSource.h"
#include "wave/Graph.h"
#include "wave/Output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using wave::Graph;

namespace {
// Renders the ramp over numSamples of graph time in host-sized sub-blocks and
// returns every sample, with the constant flag of each sub-block.
std::vector<float> renderSpan(Graph& graph, ParameterRamp& ramp, const std::vector<int>& blocks,
                              std::vector<bool>* constants = nullptr)
{
    std::vector<float> out;
    for (int n : blocks) {
        graph.nextFrame();
        const bool constant = ramp.render(n);
        if (constants)
            constants->push_back(constant);
        out.insert(out.end(), ramp.getBlock().data(), ramp.getBlock().data() + n);
        graph.advance(n);
    }
    return out;
}

// Automatic ramp time for a move of fraction d of the range, written from the
// rule's description rather than from the code.
double expectedMs(double d)
{
    return d >= 0.3 ? 20.0 : 20.0 + 130.0 * std::pow((0.3 - d) / 0.3, 2.0);
}
} // namespace

TEST(ParameterRamp, ClampsToItsRangeAndIgnoresRepeatedTargets)
{
    Graph graph;
    ParameterRamp ramp(graph, 2.5f);
    ramp.setTarget(0.0f, 9.0f);
    EXPECT_EQ(ramp.getTarget(), 2.5f);
    ramp.setTarget(0.0f, -4.0f);
    EXPECT_EQ(ramp.getTarget(), 0.0f);
    ramp.setTarget(0.0f, NAN);
    EXPECT_EQ(ramp.getTarget(), 0.0f);

    ParameterRamp negative(graph, -3.0f);
    EXPECT_EQ(negative.getLower(), -3.0f);
    EXPECT_EQ(negative.getUpper(), 1.0f);

    // Time 0 jumps: the first block already holds the target and is constant.
    graph.nextFrame();
    ramp.setTarget(0.0f, 1.5f);
    EXPECT_TRUE(ramp.render(256));
    EXPECT_EQ(ramp.getBlock()[0], 1.5f);
    EXPECT_EQ(ramp.getBlock()[255], 1.5f);
    graph.advance(256);

    // A running ramp is not restarted by the same target again.
    ramp.setTarget(100.0f, 0.5f);
    const int length = ramp.getLength();
    graph.nextFrame();
    ramp.render(300);
    graph.advance(300);
    ramp.setTarget(5.0f, 0.5f + 1e-7f);
    EXPECT_EQ(ramp.getLength(), length);
    EXPECT_NEAR(ramp.getCurrentValue(), 1.5f - 300.0f / static_cast<float>(length), 1e-6f);
    EXPECT_EQ(ramp.getPosition(), 300);
}

TEST(ParameterRamp, AutomaticTimeFollowsTheSizeOfTheMove)
{
    Graph graph(48000.0f);
    ParameterRamp ramp(graph, 0.0f);

    ramp.setTarget(ParameterRamp::automaticTime, 0.5f); // half the range: 20 ms
    EXPECT_EQ(ramp.getLength(), 960);

    ParameterRamp small(graph, 0.0f);
    small.setTarget(ParameterRamp::automaticTime, 0.01f); // 1 %: about 141.5 ms
    const double ms = small.getLength() / 48.0;
    EXPECT_NEAR(ms, 141.5, 0.05);
    EXPECT_NEAR(ms, expectedMs(0.01), 1.0 / 48.0);
    EXPECT_NEAR(small.getIncrement() * static_cast<float>(small.getLength()), 0.01f, 1e-7f);

    // The move is measured against the reference range, from the value reached so far.
    ParameterRamp wide(graph, 10.0f);
    EXPECT_EQ(wide.getReferenceRange(), 10.0f);
    wide.setTarget(ParameterRamp::automaticTime, 8.0f); // 20 % of 10
    EXPECT_NEAR(wide.getLength() / 48.0, expectedMs(0.2), 1.0 / 48.0);
    wide.setReferenceRange(4.0f);
    wide.setTarget(0.0f, 8.0f + 0.3f * 4.0f);
    wide.setTarget(ParameterRamp::automaticTime, 8.0f); // from 9.2: 30 % of 4
    EXPECT_EQ(wide.getLength(), 960);

    ParameterRamp fixed(graph, 0.0f);
    fixed.setRampTimes(50.0f, 50.0f);
    fixed.setTarget(ParameterRamp::automaticTime, 0.001f);
    EXPECT_EQ(fixed.getLength(), 2400);
}

TEST(ParameterRamp, RampAcrossBlocksIsTheStraightLine)
{
    Graph graph(44100.0f);
    ParameterRamp ramp(graph, 0.2f);
    ramp.setTarget(50.0f, 0.9f); // 2205 samples
    const int length = 2205;
    ASSERT_EQ(ramp.getLength(), length);

    std::vector<bool> constants;
    const std::vector<float> out = renderSpan(graph, ramp, {1, 3, 1000, 1024, 7, 512, 100, 64}, &constants);
    for (int i = 0; i < static_cast<int>(out.size()); ++i) {
        const double line = i < length ? 0.2 + (0.9 - 0.2) * i / length : 0.9;
        ASSERT_NEAR(out[static_cast<std::size_t>(i)], line, 2e-6) << "sample " << i;
    }
    EXPECT_EQ(constants, (std::vector<bool>{false, false, false, false, false, false, true, true}));

    // Settled: later, longer blocks hold the target throughout.
    const std::vector<float> after = renderSpan(graph, ramp, {16, 1024});
    for (float v : after)
        ASSERT_EQ(v, 0.9f);

    // A new target after a settled block rewrites the leading samples too.
    ramp.setTarget(0.0f, 0.4f);
    for (float v : renderSpan(graph, ramp, {1024}))
        ASSERT_EQ(v, 0.4f);
}

TEST(ParameterRamp, RunsOnGraphTimeAndStopsAtAReset)
{
    Graph graph(1000.0f);
    ParameterRamp ramp(graph, 0.0f);
    ramp.setTarget(1000.0f, 1.0f); // 1000 samples, 0.001 per sample

    renderSpan(graph, ramp, {100});
    for (int i = 0; i < 3; ++i) { // frames in which nobody renders the ramp
        graph.nextFrame();
        graph.advance(100);
    }
    graph.nextFrame();
    ramp.render(10);
    EXPECT_NEAR(ramp.getBlock()[0], 0.4f, 1e-6f);
    graph.advance(10);

    // A new target starts from the value reached so far.
    ramp.setTarget(200.0f, 0.0f);
    EXPECT_NEAR(ramp.getCurrentValue(), 0.41f, 1e-6f);
    graph.nextFrame();
    ramp.render(4);
    EXPECT_NEAR(ramp.getBlock()[0], 0.41f, 1e-6f);
    EXPECT_NEAR(ramp.getBlock()[1], 0.41f - 0.41f / 200.0f, 1e-6f);
    graph.advance(4);

    // The host bypassed the plug-in: the ramp under way counts as finished.
    graph.reset();
    EXPECT_TRUE(ramp.render(8));
    EXPECT_EQ(ramp.getBlock()[0], 0.0f);
    ramp.setTarget(1000.0f, 1.0f);
    EXPECT_EQ(ramp.getCurrentValue(), 0.0f);

    // A host restores a session before playing: the values set then hold
    // from the first sample, though the graph has not moved since the reset.
    Graph restored(1000.0f);
    ParameterRamp fresh(restored, 0.0f);
    fresh.setTarget(ParameterRamp::automaticTime, 0.5f);
    restored.reset();
    restored.nextFrame();
    EXPECT_TRUE(fresh.render(16));
    EXPECT_EQ(fresh.getBlock()[0], 0.5f);
}

TEST(FloatParameterSource, DeliversTheRampBlockAndSkipsWorkWhenUnread)
{
    Graph graph(48000.0f);
    FloatParameterSource source(graph, 0.25f);
    wave::Output reader(graph, &source);
    EXPECT_FALSE(source.hasOwnBlock());

    graph.nextFrame();
    const wave::Block* block = reader.pull(64);
    EXPECT_EQ(block, &source.getRamp().getBlock());
    EXPECT_TRUE(source.isConstant());
    EXPECT_EQ((*block)[63], 0.25f);
    graph.advance(64);

    source.setTarget(10.0f, 0.75f); // 480 samples
    graph.insert(source);
    for (int i = 0; i < 4; ++i) { // unread: advanced with OutputNotNeeded
        graph.nextFrame();
        graph.advance(64);
        EXPECT_TRUE(source.isConstant());
    }
    graph.nextFrame();
    reader.pull(64);
    EXPECT_FALSE(source.isConstant());
    EXPECT_NEAR((*block)[0], 0.25f + 0.5f * 256.0f / 480.0f, 1e-6f);
    graph.advance(64);

    if (!testsupport::allocationCountingAvailable())
        return;
    testsupport::AllocationScope scope;
    for (int i = 0; i < 200; ++i) {
        source.setTarget(ParameterRamp::automaticTime, (i % 7) / 7.0f);
        graph.nextFrame();
        reader.pull(1024);
        graph.advance(1024);
    }
    EXPECT_EQ(scope.count(), 0u);
}
