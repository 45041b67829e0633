#include "wave/MultiProducer.h"
#include "wave/Graph.h"
#include "wave/Output.h"

#include <gtest/gtest.h>

using wave::Block;
using wave::Graph;

namespace {
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
    graph.insert(pair.getOutput(0), Graph::AtEnd);
    graph.insert(pair.getOutput(1), Graph::AtEnd);
    graph.nextFrame();
    graph.advance(64);
    EXPECT_EQ(pair.calls, 3);
    EXPECT_EQ(pair.lastFlags, wave::Producer::OutputNotNeeded);
    EXPECT_NE(right.pull(64), left.pull(64));
    EXPECT_EQ(pair.calls, 3);

    pair.clear();
    EXPECT_EQ(pair.getOutput(1).getBlock()[10], 0.0f);
}
