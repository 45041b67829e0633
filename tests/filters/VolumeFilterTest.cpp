#include "GraphSignals.h"

#include "filters/VolumeFilter.h"

#include <gtest/gtest.h>

TEST(VolumeFilter, MultipliesByItsGainStream)
{
    wave::Graph graph;
    Playback in(graph, {1.0f, -2.0f, 3.0f, 0.5f, 8.0f});
    Playback gain(graph, {0.5f, 1.0f, 2.0f, 0.0f, 0.25f});
    VolumeFilter volume(graph, &in);
    volume.gain.setSource(&gain);
    EXPECT_EQ(render(graph, volume, 5), (std::vector<float>{0.5f, -2.0f, 6.0f, 0.0f, 2.0f}));
}

TEST(VolumeFilter, HandsThroughAtUnityAndSilencesWhenMuted)
{
    wave::Graph graph;
    Playback in(graph, std::vector<float>(4096, 0.75f));
    VolumeFilter volume(graph, &in);
    MuteSwitch mute;
    volume.setMuteController(&mute);

    testsupport::AllocationScope scope;
    graph.nextFrame();
    EXPECT_EQ(&volume.pull(128), &in.getBlock());
    graph.advance(128);

    volume.gain.setDefault(0.0f);
    graph.nextFrame();
    EXPECT_EQ(&volume.pull(128), &graph.getScratch());
    graph.advance(128);

    // Muted: exact zeros for the whole block while the source still runs.
    volume.gain.setDefault(0.5f);
    mute.muted = true;
    const int calls = in.calls;
    graph.nextFrame();
    const wave::Block& silent = volume.pull(128);
    for (int i = 0; i < 128; ++i)
        ASSERT_EQ(silent[i], 0.0f);
    EXPECT_EQ(in.calls, calls + 1);
    graph.advance(128);

    mute.muted = false;
    graph.nextFrame();
    EXPECT_EQ(volume.pull(128)[127], 0.375f);
    graph.advance(128);

    // Output not needed: the block keeps what it held.
    std::fill(in.data.begin(), in.data.end(), 1.0f);
    graph.nextFrame();
    EXPECT_EQ(volume.pull(128, wave::Producer::OutputNotNeeded)[127], 0.375f);
    expectNoAllocations(scope);
}
