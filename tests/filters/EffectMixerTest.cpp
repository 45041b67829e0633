#include "GraphSignals.h"

#include "filters/EffectMixer.h"

#include <gtest/gtest.h>

namespace {

struct Rig {
    wave::Graph graph;
    Playback dry{graph, {1.0f, -2.0f, 0.5f, 4.0f, 3.0f}};
    Playback wet{graph, {0.25f, 1.0f, -1.0f, 2.0f, -3.0f}};
    EffectMixer mixer{graph, &dry, &wet};
};

} // namespace

TEST(EffectMixer, CrossfadesLinearlyFromDryToWet)
{
    for (const float m : {-1.0f, -0.5f, 0.0f, 0.6f, 1.0f}) {
        SCOPED_TRACE(m);
        Rig s;
        s.mixer.mix.setDefault(m);
        const auto out = render(s.graph, s.mixer, 5);
        const float t = (m + 1.0f) * 0.5f;
        for (std::size_t i = 0; i < 5; ++i)
            EXPECT_FLOAT_EQ(out[i], (1.0f - t) * s.dry.data[i] + t * s.wet.data[i]);
    }
    // The ends hand one side through untouched.
    Rig s;
    s.mixer.mix.setDefault(-1.0f);
    s.graph.nextFrame();
    EXPECT_EQ(&s.mixer.pull(5), &s.dry.getBlock());

    // Output not needed: neither side is pulled.
    s.graph.nextFrame();
    s.mixer.pull(5, wave::Producer::OutputNotNeeded);
    EXPECT_EQ(s.dry.calls + s.wet.calls, 2);
}

TEST(EffectMixer, FollowsAModulatedMixAndTreatsAMissingSideAsSilence)
{
    Rig s;
    Playback m(s.graph, {-1.0f, 0.0f, 1.0f, 3.0f, -0.5f}); // 3 is held at 1
    s.mixer.mix.setSource(&m);
    auto out = render(s.graph, s.mixer, 5);
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[1], 0.5f * (-2.0f + 1.0f));
    EXPECT_FLOAT_EQ(out[2], -1.0f);
    EXPECT_FLOAT_EQ(out[3], 2.0f);
    EXPECT_FLOAT_EQ(out[4], 0.75f * 3.0f + 0.25f * -3.0f);

    Rig t;
    t.mixer.setWet(nullptr);
    t.mixer.mix.setDefault(0.0f);
    out = render(t.graph, t.mixer, 5);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(out[i], 0.5f * t.dry.data[i]);
}
