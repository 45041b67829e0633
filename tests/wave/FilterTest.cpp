#include "Probe.h"

#include "wave/Filter.h"
#include "wave/Graph.h"
#include "wave/Input.h"
#include "wave/Output.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using wave::Block;
using wave::Consumer;
using wave::Graph;
using wave::Producer;

namespace {
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
} // namespace

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
    graph.insert(passing, Graph::AtEnd);
    graph.nextFrame();
    graph.advance(10);
    EXPECT_EQ(passing.lastFlags, Producer::OutputNotNeeded);
    EXPECT_FALSE(passing.sawInput);
    EXPECT_EQ(source.calls, 1);

    graph.insert(plain, Graph::AtEnd);
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
