#include "Probe.h"

#include "AllocationCounter.h"
#include "wave/Graph.h"
#include "wave/Output.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using wave::Graph;
using wave::Output;
using wave::Producer;

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
    graph.insert(pulled, Graph::AtEnd);
    graph.insert(unread, Graph::AtEnd);
    graph.insert(orphan, Graph::AtEnd);

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

TEST(Graph, RunListKeepsFrontFixedAndEndOrder)
{
    Graph graph;
    std::vector<const Probe*> order;
    Probe a(graph, &order), b(graph, &order), c(graph, &order), d(graph, &order), e(graph, &order),
        f(graph, &order);
    graph.insert(a, Graph::AtFront);
    graph.insert(b, 7); // anything else goes to the end
    graph.insert(c, Graph::AfterFront);
    graph.insert(d, Graph::AtFront);
    graph.insert(e, Graph::AfterFront);
    graph.insert(d, Graph::AtEnd); // already listed: ignored
    EXPECT_EQ(graph.getFrontCount(), 2);

    graph.nextFrame();
    graph.advance(16);
    EXPECT_EQ(order, (std::vector<const Probe*>{&d, &a, &e, &c, &b}));

    graph.remove(a);
    EXPECT_EQ(graph.getFrontCount(), 1);
    graph.insert(f, Graph::AfterFront);
    graph.remove(c);
    EXPECT_EQ(graph.getFrontCount(), 1);
    order.clear();
    graph.nextFrame();
    graph.advance(16);
    EXPECT_EQ(order, (std::vector<const Probe*>{&d, &f, &e, &b}));

    {
        Probe temporary(graph, &order);
        graph.insert(temporary, Graph::AtFront);
        graph.addToResetList(temporary);
        EXPECT_EQ(graph.getRunList().size(), 5u);
    }
    // Destruction leaves both lists.
    EXPECT_EQ(graph.getRunList().size(), 4u);
    EXPECT_EQ(graph.getFrontCount(), 1);
    EXPECT_TRUE(graph.getResetList().empty());
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
    child.insert(inChild, Graph::AtEnd);
    child.addToResetList(inChild);
    graph.addToResetList(resettable);
    graph.insert(inChild, Graph::AtEnd); // belongs to the child: ignored
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
            p->getGraph().insert(*p, frame % 3);
        graph.nextFrame();
        reader.pull(1024);
        graph.advance(1024);
        for (auto& p : owned)
            p->getGraph().remove(*p);
    }
    EXPECT_EQ(scope.count(), 0u);
    EXPECT_EQ(owned[2]->calls, 50);
}
