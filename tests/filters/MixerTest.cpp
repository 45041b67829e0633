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

TEST(Mixer, CombinesTwoWeightedInputsUnderEachOperation)
{
    const float ga = 0.5f;
    const float gb = 2.0f;
    const auto sum = mix(Mixer::sum, ga, gb);
    const auto difference = mix(Mixer::subtract, ga, gb);
    const auto largest = mix(Mixer::maximum, ga, gb);
    const auto product = mix(Mixer::product, ga, gb);
    const auto ratio = mix(Mixer::ratio, ga, gb);
    for (std::size_t i = 0; i < a.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(sum[i], a[i] * ga + b[i] * gb);
        EXPECT_FLOAT_EQ(difference[i], a[i] * ga - b[i] * gb);
        EXPECT_FLOAT_EQ(largest[i], std::max(std::fabs(a[i]) * ga, std::fabs(b[i]) * gb));
        EXPECT_FLOAT_EQ(product[i], a[i] * ga * b[i] * gb);
        const float divisor = std::fabs(b[i] * gb);
        const float expected =
            divisor == 0.0f ? 0.0f : std::clamp(std::fabs(a[i]) * ga / divisor, 0.0f, 1.0f);
        EXPECT_FLOAT_EQ(ratio[i], expected);
    }
    // A zero divisor gives 0; a quotient above 1 is held at 1.
    EXPECT_EQ(ratio[4], 0.0f);
    EXPECT_EQ(mix(Mixer::ratio, 4.0f, 1.0f)[0], 1.0f);
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

TEST(Mixer, GainsGlideOnGraphTimeWithoutAllocating)
{
    wave::Graph graph;
    Constant one(graph, 1.0f);
    Mixer mixer(graph, 1, Mixer::sum);
    mixer.setInput(0, &one);
    render(graph, mixer, 256);

    // A full move takes the shortest automatic ramp, 20 ms (882 samples).
    mixer.setGain(0, 0.0f);
    std::vector<float> out;
    out.reserve(1024);
    {
        testsupport::AllocationScope scope;
        renderInto(out, graph, mixer, 1024, 128);
        expectNoAllocations(scope);
    }
    for (std::size_t i = 1; i < 882; ++i)
        ASSERT_LT(out[i], out[i - 1]) << i;
    EXPECT_NEAR(out[441], 0.5f, 1e-3f);
    EXPECT_EQ(out[900], 0.0f);
}
