#include "GraphSignals.h"

#include "filters/Router.h"

#include <gtest/gtest.h>

TEST(Router, SelectionHoldsAtOnceWhenBuiltAndGlidesLater)
{
    wave::Graph graph;
    Constant first(graph, 1.0f);
    Constant second(graph, -1.0f);
    Playback third(graph, std::vector<float>(4096, 0.25f));
    Router router(graph, 3, 1);
    router.setInput(0, &first);
    router.setInput(1, &second);
    router.setInput(2, &third);

    // Built with input 1 selected: its block itself, the others not pulled.
    graph.nextFrame();
    EXPECT_EQ(&router.pull(64), &second.getBlock());
    EXPECT_EQ(first.calls + third.calls, 0);
    graph.advance(64);

    // Switching glides both gains over 20 ms (882 samples at 44.1 kHz):
    // the output moves from -1 to 1 through 0 at the half-way point.
    std::vector<float> out;
    out.reserve(2048);
    {
        testsupport::AllocationScope scope;
        router.selection = 0;
        renderInto(out, graph, router, 2048, 256);
        expectNoAllocations(scope);
    }
    EXPECT_NEAR(out[0], -1.0f, 1e-2f);
    EXPECT_NEAR(out[441], 0.0f, 1e-2f);
    for (std::size_t i = 1; i < 882; ++i)
        ASSERT_GT(out[i], out[i - 1]) << i;
    EXPECT_EQ(out[1000], 1.0f);
    graph.nextFrame();
    EXPECT_EQ(&router.pull(64), &first.getBlock()) << "settled again: handed through";
    graph.advance(64);

    // Out-of-range selections are clamped; a time of 0 switches at once.
    router.select(7, 0.0f);
    EXPECT_EQ(router.selection.get(), 2);
    graph.nextFrame();
    EXPECT_EQ(&router.pull(64), &third.getBlock());
    graph.advance(64);

    // Output not needed: nothing pulled.
    const int callsBefore = third.calls;
    graph.nextFrame();
    router.pull(64, wave::Producer::OutputNotNeeded);
    EXPECT_EQ(third.calls, callsBefore);
}
