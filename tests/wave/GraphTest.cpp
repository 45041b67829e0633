// The pull-based graph: producers run once a frame for all their readers,
// the run list advances what nobody pulled and says why, child graphs follow
// their parent, filters and inputs pull or skip their sources, and a
// multi-output producer computes once for all its outputs.
#include "AllocationCounter.h"
#include "wave/Filter.h"
#include "wave/Graph.h"
#include "wave/Input.h"
#include "wave/MultiProducer.h"
#include "wave/Output.h"
#include "wave/Source.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(pulled.calls, 1);
    EXPECT_EQ(pulled.lastFlags, 0);
    EXPECT_EQ(unread.calls, 1);
    EXPECT_EQ(unread.lastFlags, Producer::OutputNotNeeded);
    EXPECT_EQ(unread.lastSamples, 100);
    EXPECT_EQ(orphan.calls, 1);
    EXPECT_EQ(orphan.lastFlags, Producer::NoConsumer);
    EXPECT_EQ(outside.calls, 0);
    EXPECT_EQ(graph.getPosition(), 100u);

    // Advanced producers are stamped: a late pull in the same frame reuses the block.
    readsUnread.pull(100);
    EXPECT_EQ(unread.calls, 1);

    // An owner may pull a producer without a consumer link (a plug-in
    // channel's output); advance must not run it a second time.
    graph.nextFrame();
    orphan.pull(100);
    readsPulled.pull(100);
    graph.advance(100);
    EXPECT_EQ(orphan.calls, 2);
    EXPECT_EQ(orphan.lastFlags, 0);
    EXPECT_EQ(unread.calls, 2);

    graph.remove(unread);
    graph.nextFrame();
    graph.advance(50);
    EXPECT_EQ(unread.calls, 2);
    EXPECT_EQ(pulled.calls, 3);
    EXPECT_EQ(graph.getPosition(), 250u);
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

TEST(Graph, FramesListsAndPullsAllocateNothing)
{
    if (!testsupport::allocationCountingAvailable())
        GTEST_SKIP() << "allocation counting unavailable in this build";
    Graph graph;
    Graph& child = graph.addChild(2);
    std::vector<std::unique_ptr<Probe>> owned;
    for (int i = 0; i < 40; ++i)
        owned.push_back(std::make_unique<Probe>(i % 4 == 0 ? child : graph));
    Output reader(graph, owned[1].get());

    testsupport::AllocationScope scope;
    for (int frame = 0; frame < 50; ++frame) {
        for (auto& p : owned)
            p->getGraph().insert(*p);
        graph.nextFrame();
        reader.pull(1024);
        graph.advance(1024);
        for (auto& p : owned)
            p->getGraph().remove(*p);
    }
    EXPECT_EQ(scope.count(), 0u);
    EXPECT_EQ(owned[2]->calls, 50);
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
    EXPECT_TRUE(input.isInRunList());

    std::vector<float> host(2500);
    std::iota(host.begin(), host.end(), 1.0f);
    input.setBuffer(host.data(), 2500);

    graph.nextFrame();
    const Block& first = reader.pull(1024);
    EXPECT_EQ(first[0], 2.0f);
    EXPECT_EQ(first[1023], 2048.0f);
    graph.advance(1024);

    graph.nextFrame(); // nobody reads this sub-block
    graph.advance(1024);
    EXPECT_EQ(input.getSamplesLeft(), 2500 - 2048);

    graph.nextFrame();
    const Block& last = reader.pull(600); // runs past the host buffer
    EXPECT_EQ(last[0], 2.0f * 2049.0f);
    EXPECT_EQ(last[451], 2.0f * 2500.0f);
    EXPECT_EQ(last[452], 0.0f);
    EXPECT_EQ(last[599], 0.0f);
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
