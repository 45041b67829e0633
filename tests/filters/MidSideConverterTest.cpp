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
