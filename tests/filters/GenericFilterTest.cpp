#include "GraphSignals.h"

#include "filters/BiQuadFilter.h"
#include "filters/GenericFilter.h"

#include <gtest/gtest.h>

namespace {

constexpr int length = 2048;

// A filter node on the clean unit, fed by a sine, next to the same unit run
// directly as the reference.
struct Rig {
    Rig() : input(graph, sine(length, 440.0f, 0.5f)), filter(graph, &input), unit(graph)
    {
        filter.setUnit(&unit);
        filter.cutoff.setDefault(std::log2(1200.0f));
        filter.peak.setDefault(0.4f);
    }

    std::vector<float> filtered()
    {
        BiQuadFilter reference(graph);
        const std::vector<float> c(length, std::log2(1200.0f)), p(length, 0.4f);
        std::vector<float> out(length);
        reference.process(input.data.data(), out.data(), c.data(), p.data(), nullptr, length, true);
        return out;
    }

    wave::Graph graph;
    Playback input;
    GenericFilter filter;
    BiQuadFilter unit;
};

} // namespace

TEST(GenericFilter, AmountCrossfadesFromTheInputToTheFilteredSignal)
{
    {
        Rig rig; // amount 1 (the default): exactly the filtered signal
        EXPECT_EQ(render(rig.graph, rig.filter, length), rig.filtered());
    }
    {
        Rig rig;
        rig.filter.amount.setDefault(0.5f);
        const auto out = render(rig.graph, rig.filter, length);
        const auto wet = rig.filtered();
        for (std::size_t i = 0; i < out.size(); ++i)
            ASSERT_NEAR(out[i], 0.5f * (rig.input.data[i] + wet[i]), 1e-7f) << i;
    }
    {
        Rig rig; // a moving amount
        Playback amount(rig.graph, sine(length, 3.0f, 1.0f));
        rig.filter.amount.setSource(&amount);
        const auto out = render(rig.graph, rig.filter, length);
        const auto wet = rig.filtered();
        for (std::size_t i = 0; i < out.size(); ++i) {
            const float a = amount.data[i];
            ASSERT_NEAR(out[i], rig.input.data[i] + (wet[i] - rig.input.data[i]) * a, 1e-6f) << i;
        }
    }
}

TEST(GenericFilter, AmountZeroBypassesWithoutRunningTheUnit)
{
    Rig rig;
    render(rig.graph, rig.filter, 512);
    const BiQuadFilter::Section before = rig.unit.getSection(0);
    rig.filter.amount.setDefault(0.0f);

    testsupport::AllocationScope scope;
    for (int frame = 0; frame < 4; ++frame) {
        rig.graph.nextFrame();
        ASSERT_EQ(&rig.filter.pull(256), &rig.input.getBlock());
        rig.graph.advance(256);
    }
    expectNoAllocations(scope);
    EXPECT_EQ(rig.unit.getSection(0).low, before.low) << "the states stand still";
    EXPECT_EQ(rig.unit.getSection(0).band, before.band);
}

TEST(GenericFilter, MutedIsSilentAndUnneededOutputIsNotComputed)
{
    Rig rig;
    MuteSwitch mute;
    rig.filter.setMuteController(&mute);
    render(rig.graph, rig.filter, 256);
    const float low = rig.unit.getSection(0).low;

    mute.muted = true;
    rig.graph.nextFrame();
    EXPECT_EQ(&rig.filter.pull(256), &rig.graph.getScratch());
    rig.graph.advance(256);
    EXPECT_EQ(rig.unit.getSection(0).low, low);

    mute.muted = false;
    rig.graph.nextFrame();
    rig.filter.pull(256, wave::Producer::OutputNotNeeded);
    EXPECT_EQ(rig.unit.getSection(0).low, low);
}
