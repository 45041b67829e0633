#include "GraphSignals.h"

#include "filters/MidSideConverter.h"

#include <gtest/gtest.h>

TEST(MidSideConverter, EncodingThenDecodingGivesThePairBack)
{
    wave::Graph graph;
    const auto left = sine(1000, 440.0f, 0.8f);
    const auto right = sine(1000, 97.0f, -0.6f);
    Playback l(graph, left);
    Playback r(graph, right);
    MidSideConverter encoder(graph, MidSideConverter::encode, &l, &r);
    MidSideConverter decoder(graph, MidSideConverter::decode, &encoder.getOutput(0), &encoder.getOutput(1));

    const auto mid = render(graph, encoder.getOutput(0), 1000);
    l.position = r.position = 0;
    const auto back = render(graph, decoder.getOutput(1), 1000);
    for (std::size_t i = 0; i < 1000; ++i) {
        ASSERT_NEAR(mid[i], 0.5f * (left[i] + right[i]), 1e-7f) << i;
        ASSERT_NEAR(back[i], right[i], 1e-6f) << i;
    }
    EXPECT_EQ(l.calls, 8) << "both outputs come from one computation per frame";
}

TEST(MidSideConverter, OffHandsTheInputBlocksThrough)
{
    wave::Graph graph;
    Playback a(graph, {1.0f, 2.0f});
    MidSideConverter converter(graph, MidSideConverter::off, &a, nullptr);
    graph.nextFrame();
    EXPECT_EQ(&converter.getOutput(0).pull(2), &a.getBlock());
    EXPECT_EQ(&converter.getOutput(1).pull(2), &graph.getScratch());

    // Output not needed: the inputs are left alone.
    graph.nextFrame();
    converter.getOutput(0).pull(2, wave::Producer::OutputNotNeeded);
    EXPECT_EQ(a.calls, 1);
}
