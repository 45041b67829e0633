#include "GraphSignals.h"

#include "filters/Mixer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const std::vector<float> a = {0.5f, -1.0f, 2.0f, 0.0f, 3.0f, -0.25f, 1.0f, -4.0f};
const std::vector<float> b = {1.0f, 0.5f, -1.0f, 2.0f, 0.0f, 0.5f, -8.0f, 0.125f};

std::vector<float> mix(int operation, float ga, float gb)
{
    wave::Graph graph;
    Playback pa(graph, a);
    Playback pb(graph, b);
    Mixer mixer(graph, 2, operation);
    mixer.setInput(0, &pa);
    mixer.setInput(1, &pb);
    mixer.setGain(0, ga, 0.0f);
    mixer.setGain(1, gb, 0.0f);
    return render(graph, mixer, static_cast<int>(a.size()));
}

} // namespace

TEST(Mixer, SumsOrTakesTheLargestWeightedMagnitude)
{
    const auto sum = mix(Mixer::sum, 0.5f, 2.0f);
    const auto largest = mix(Mixer::maximum, 0.5f, 2.0f);
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_FLOAT_EQ(sum[i], a[i] * 0.5f + b[i] * 2.0f) << i;
        EXPECT_FLOAT_EQ(largest[i], std::max(std::fabs(a[i]) * 0.5f, std::fabs(b[i]) * 2.0f)) << i;
    }
}

TEST(Mixer, SumPassesBlocksThroughAndLeavesSilentInputsUnpulled)
{
    wave::Graph graph;
    Playback pa(graph, a);
    Playback pb(graph, b);
    Playback pc(graph, b);
    Mixer mixer(graph, 4, Mixer::sum);
    mixer.setInput(0, &pa);
    mixer.setInput(1, &pb);
    mixer.setInput(2, &pc); // input 3 has no audio producer: ignored
    mixer.setGain(1, 0.0f, 0.0f);
    mixer.setGain(2, 0.0f, 0.0f);

    graph.nextFrame();
    const wave::Block& out = mixer.pull(8);
    EXPECT_EQ(&out, &pa.getBlock()) << "one input at constant gain 1 is handed through";
    EXPECT_EQ(pb.calls + pc.calls, 0) << "inputs at constant gain 0 are not pulled";
    graph.advance(8);

    // Nothing contributes: the graph's silence block.
    mixer.setGain(0, 0.0f, 0.0f);
    graph.nextFrame();
    EXPECT_EQ(&mixer.pull(8), &graph.getScratch());
    EXPECT_TRUE(mixer.isConstant());
    EXPECT_EQ(pa.calls, 1);
    graph.advance(8);

    // Output not needed: nothing is pulled, nothing computed.
    mixer.setGain(1, 1.0f, 0.0f);
    mixer.setGain(2, 0.5f, 0.0f);
    graph.nextFrame();
    mixer.pull(8, wave::Producer::OutputNotNeeded);
    EXPECT_EQ(pb.calls + pc.calls, 0);
}
