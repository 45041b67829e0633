// The pull-based graph: producers run once a frame for all their readers,
// the run list advances what nobody pulled and says why, child graphs follow
// their parent, filters and inputs pull or skip their sources, and a
// multi-output producer computes once for all its outputs. Then the ramps
// that carry parameter changes onto graph time.
#include "wave/Filter.h"
#include "wave/FloatParameterSource.h"
#include "wave/Graph.h"
#include "wave/Input.h"
#include "wave/MultiProducer.h"
#include "wave/Output.h"
#include "wave/ParameterRamp.h"
#include "wave/Source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <cstdint>
#include <numeric>
#include <vector>

using wave::Block;
using wave::Consumer;
using wave::Graph;
using wave::Output;
using wave::Producer;

namespace {

// A source that writes its call number into its block and records how it was
// called, so tests can see when and how often the graph ran it.
class Probe : public wave::Source {
public:
    explicit Probe(wave::Graph& graph, std::vector<const Probe*>* callOrder = nullptr)
        : wave::Source(graph), order(callOrder)
    {
    }

    int process(wave::Block& target, int numSamples, int flags) override
    {
        ++calls;
        lastFlags = flags;
        lastSamples = numSamples;
        target.fill(static_cast<float>(calls), 0, numSamples);
        if (order)
            order->push_back(this);
        return numSamples;
    }
    void reset() override { ++resets; }

    int calls = 0;
    int resets = 0;
    int lastFlags = -1;
    int lastSamples = 0;

private:
    std::vector<const Probe*>* order;
};

// Doubles its input; silence when it has none.
class Doubler : public wave::Filter {
public:
    using wave::Filter::Filter;
    void processBlock(const Block* input, Block& output, int numSamples, int flags) override
    {
        ++calls;
        sawInput = input != nullptr;
        lastFlags = flags;
        for (int i = 0; i < numSamples; ++i)
            output[i] = input ? 2.0f * (*input)[i] : 0.0f;
    }
    int calls = 0;
    bool sawInput = false;
    int lastFlags = -1;
};

// Left = input + 1, right = input - 1 of a counter; the right output passes
// the left block through when asked to.
class Pair : public wave::MultiProducer {
public:
    explicit Pair(Graph& graph) : wave::MultiProducer(graph) {}
    void processAll(Block** blocks, int numSamples, int flags) override
    {
        ++calls;
        lastFlags = flags;
        blocks[0]->fill(static_cast<float>(calls) + 1.0f, 0, numSamples);
        if (shareLeft) {
            blocks[1] = blocks[0];
        } else {
            blocks[1]->fill(static_cast<float>(calls) - 1.0f, 0, numSamples);
        }
        setOutputConstant(0, true);
        setOutputConstant(1, false);
    }
    int calls = 0;
    int lastFlags = -1;
    bool shareLeft = false;
};

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

TEST(Graph, PullRunsAProducerOncePerFrameForAllItsConsumers)
{
    Graph graph;
    Probe source(graph);
    Output a(graph, &source), b(graph, &source);
    EXPECT_EQ(source.getConsumerCount(), 2);

    graph.nextFrame();
    const wave::Block* first = a.pull(64);
    const wave::Block* second = b.pull(64);
    EXPECT_EQ(source.calls, 1);
    EXPECT_EQ(first, second);
    EXPECT_EQ((*second)[63], 1.0f);

    graph.nextFrame();
    EXPECT_EQ((*b.pull(32))[0], 2.0f);
    EXPECT_EQ((*a.pull(32))[0], 2.0f);
    EXPECT_EQ(source.calls, 2);

    // A producer built after frames have passed still computes on its first pull.
    Probe late(graph);
    EXPECT_EQ(late.pull(8)[0], 1.0f);
    a.setSource(&late);
    EXPECT_EQ(source.getConsumerCount(), 1);
    EXPECT_EQ(late.getConsumerCount(), 1);
    a.setSource(nullptr); // late goes before a
}

TEST(Graph, AdvanceRunsOnlyWhatWasNotPulledAndSaysWhy)
{
    Graph graph;
    Probe pulled(graph), unread(graph), orphan(graph), outside(graph);
    Output readsPulled(graph, &pulled), readsUnread(graph, &unread), readsOutside(graph, &outside);
    graph.insert(pulled);
    graph.insert(unread);
    graph.insert(orphan);

    graph.nextFrame();
    readsPulled.pull(100);
    graph.advance(100);
    EXPECT_EQ(std::tuple(pulled.calls, pulled.lastFlags, unread.calls, unread.lastFlags, orphan.calls, orphan.lastFlags),
              std::tuple(1, 0, 1, +Producer::OutputNotNeeded, 1, +Producer::NoConsumer));
    EXPECT_EQ(std::tuple(unread.lastSamples, outside.calls, graph.getPosition()), std::tuple(100, 0, 100u));

    // Advanced producers are stamped: a late pull in the same frame reuses the block.
    readsUnread.pull(100);
    EXPECT_EQ(unread.calls, 1);

    // An owner may pull a producer without a consumer link (a plug-in
    // channel's output); advance must not run it a second time.
    graph.nextFrame();
    orphan.pull(100);
    readsPulled.pull(100);
    graph.advance(100);
    EXPECT_EQ(std::tuple(orphan.calls, orphan.lastFlags, unread.calls), std::tuple(2, 0, 2));

    graph.remove(unread);
    graph.nextFrame();
    graph.advance(50);
    EXPECT_EQ(std::tuple(unread.calls, pulled.calls, graph.getPosition()), std::tuple(2, 3, 250u));
}

TEST(Graph, RunListKeepsInsertionOrderAndForgetsDestroyedProducers)
{
    Graph graph;
    std::vector<const Probe*> order;
    Probe a(graph, &order), b(graph, &order);
    graph.insert(b);
    graph.insert(a);
    graph.insert(b); // already listed: ignored
    {
        Probe temporary(graph, &order);
        graph.insert(temporary);
        graph.addToResetList(temporary);
    }
    EXPECT_TRUE(graph.getResetList().empty());
    graph.nextFrame();
    graph.advance(16);
    EXPECT_EQ(order, (std::vector<const Probe*>{&b, &a}));
}

TEST(Graph, ChildGraphsFollowFramesRateAndReset)
{
    Graph graph(44100.0f);
    Graph& child = graph.addChild(3);
    EXPECT_EQ(child.getBlockSize(), 3 * Graph::maxBlockSize);
    EXPECT_FLOAT_EQ(child.getSampleRate(), 132300.0f);
    graph.setSampleRate(48000.0f);
    EXPECT_FLOAT_EQ(child.getSampleRate(), 144000.0f);

    Probe inChild(child), resettable(graph);
    child.insert(inChild);
    child.addToResetList(inChild);
    graph.addToResetList(resettable);
    graph.insert(inChild); // belongs to the child: ignored
    EXPECT_TRUE(graph.getRunList().empty());

    graph.nextFrame();
    graph.nextFrame();
    EXPECT_EQ(child.getFrame(), graph.getFrame());
    graph.advance(1000);
    EXPECT_EQ(inChild.lastSamples, 3000);
    EXPECT_EQ(child.getPosition(), 3000u);

    graph.reset();
    EXPECT_EQ(graph.getResetPosition(), 1000u);
    EXPECT_EQ(child.getResetPosition(), 3000u);
    EXPECT_EQ(resettable.resets, 1);
    EXPECT_EQ(inChild.resets, 1);
}

TEST(Filter, PullsItsSourceUnlessCallAndLinkBothSayOutputNotNeeded)
{
    Graph graph;
    Probe source(graph);
    Doubler plain(graph, &source);
    Doubler passing(graph, &source, 0, Consumer::PassOutputNotNeeded);
    Doubler empty(graph);
    wave::Output readsPlain(graph, &plain), readsPassing(graph, &passing);

    graph.nextFrame();
    EXPECT_EQ(plain.pull(10)[9], 2.0f);
    EXPECT_EQ(passing.pull(10)[0], 2.0f);
    EXPECT_EQ(empty.pull(10)[0], 0.0f);
    EXPECT_FALSE(empty.sawInput);
    EXPECT_EQ(source.calls, 1);

    // The run list advances unread filters with OutputNotNeeded: the passing
    // link leaves its source alone, the plain one still computes it.
    graph.insert(passing);
    graph.nextFrame();
    graph.advance(10);
    EXPECT_EQ(passing.lastFlags, Producer::OutputNotNeeded);
    EXPECT_FALSE(passing.sawInput);
    EXPECT_EQ(source.calls, 1);

    graph.insert(plain);
    graph.nextFrame();
    graph.advance(10);
    EXPECT_TRUE(plain.sawInput);
    EXPECT_EQ(source.calls, 2);
    EXPECT_EQ(source.lastFlags, 0);
}

TEST(Input, ReadsTheHostBufferSubBlockBySubBlockEvenWhenUnread)
{
    Graph graph;
    wave::Input input(graph);
    Doubler reader(graph, &input);

    std::vector<float> host(2500);
    std::iota(host.begin(), host.end(), 1.0f);
    input.setBuffer(host.data(), 2500);

    graph.nextFrame();
    const Block& first = reader.pull(1024);
    EXPECT_EQ(first[1023], 2048.0f);
    graph.advance(1024);

    graph.nextFrame(); // nobody reads this sub-block, yet the input moves on
    graph.advance(1024);

    graph.nextFrame();
    const Block& last = reader.pull(600); // runs past the host buffer
    EXPECT_EQ(last[0], 2.0f * 2049.0f);
    EXPECT_EQ(last[451], 2.0f * 2500.0f);
    EXPECT_EQ(last[452], 0.0f);
    graph.advance(600);
    EXPECT_EQ(input.getSamplesLeft(), 0);

    input.setBuffer(nullptr, 100);
    graph.nextFrame();
    EXPECT_EQ(reader.pull(100)[50], 0.0f);
}

TEST(MultiProducer, ComputesOnceForAllOutputsPerFrame)
{
    Graph graph;
    Pair pair(graph);
    wave::Output left(graph, &pair.getOutput(0)), right(graph, &pair.getOutput(1));

    graph.nextFrame();
    EXPECT_EQ((*right.pull(64))[63], 0.0f);
    EXPECT_EQ((*left.pull(64))[0], 2.0f);
    EXPECT_EQ(pair.calls, 1);
    EXPECT_TRUE(pair.getOutput(0).isConstant());
    EXPECT_FALSE(pair.getOutput(1).isConstant());

    pair.shareLeft = true;
    graph.nextFrame();
    const Block* l = left.pull(64);
    EXPECT_EQ(right.pull(64), l);
    EXPECT_EQ((*l)[0], 3.0f);
    EXPECT_EQ(pair.calls, 2);

    // An unread output in the run list computes all outputs once, with OutputNotNeeded.
    pair.shareLeft = false;
    graph.insert(pair.getOutput(0));
    graph.insert(pair.getOutput(1));
    graph.nextFrame();
    graph.advance(64);
    EXPECT_EQ(pair.calls, 3);
    EXPECT_EQ(pair.lastFlags, wave::Producer::OutputNotNeeded);
    EXPECT_NE(right.pull(64), left.pull(64));
    EXPECT_EQ(pair.calls, 3);

    pair.clear();
    EXPECT_EQ(pair.getOutput(1).getBlock()[10], 0.0f);
}

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
}
