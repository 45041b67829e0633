#include "modulation/EnvelopeGenerator.h"
#include "SourceHarness.h"
#include "modulation/NoteTriggers.h"
#include "modulation/Trigger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr float rate = 48000.0f;
constexpr float epsilon = 1.1920929e-7f;

struct Envelope {
    explicit Envelope(float attack, float decay, float sustain, float release) : graph(rate), eg(graph)
    {
        eg.getAttackInput().getInternal().setTarget(0.0f, attack);
        eg.getDecayInput().getInternal().setTarget(0.0f, decay);
        eg.getSustainInput().getInternal().setTarget(0.0f, sustain);
        eg.getReleaseInput().getInternal().setTarget(0.0f, release);
        eg.triggering = Triggering::Midi;
    }
    std::vector<float> run(int n) { return harness::pullFrames(graph, eg, n, 1000); }
    void connectAll(wave::Producer* input)
    {
        for (auto* i :
             {&eg.getAttackInput(), &eg.getDecayInput(), &eg.getSustainInput(), &eg.getReleaseInput()})
            i->connect(input);
    }
    wave::Graph graph;
    EnvelopeGenerator eg;
};

} // namespace

TEST(EnvelopeGenerator, StageLengthsAndShapes)
{
    // Attack 10 ms: 480 samples rising along a straight line from 0 to just
    // below 1, then a 100 ms decay to the sustain level of 0.5.
    {
        Envelope e(0.01f, 0.1f, 0.5f, 0.5f);
        e.eg.midiStart();
        const std::vector<float> out = e.run(6000);
        for (int k = 0; k < 480; ++k)
            ASSERT_NEAR(out[static_cast<std::size_t>(k)], k / 480.0f, 2e-6f) << k;
        EXPECT_GT(out[479], 0.99f);
        EXPECT_LT(out[479], 1.0f);
        EXPECT_NEAR(out[480], 1.0f, 1e-6f);
        EXPECT_NEAR(out[480 + 2400], 0.75f, 1e-4f);
        EXPECT_NEAR(out[480 + 4800], 0.5f, 1e-6f);
        EXPECT_EQ(out[5999], 0.5f);
        EXPECT_TRUE(e.eg.isGateOpen());
    }
    // Sustain 1: after the attack the output stays at 1 whatever the decay.
    {
        Envelope e(0.002f, 3.0f, 1.0f, 0.5f);
        e.eg.midiStart();
        const std::vector<float> out = e.run(20000);
        for (std::size_t k = 96; k < out.size(); ++k)
            ASSERT_EQ(out[k], 1.0f) << k;
    }
    // Release 0.5 s from 0.6: a straight fall to 0 in 24000 samples, then 0
    // and silence.
    {
        Envelope e(0.002f, 0.002f, 0.6f, 0.5f);
        e.eg.midiStart();
        e.run(4000);
        EXPECT_FALSE(e.eg.isMuted());
        e.eg.midiRelease();
        const std::vector<float> out = e.run(30000);
        for (int k = 0; k <= 24000; ++k)
            ASSERT_NEAR(out[static_cast<std::size_t>(k)], 0.6f * (1.0f - k / 24000.0f), 2e-6f) << k;
        EXPECT_EQ(out[24000], 0.0f);
        EXPECT_EQ(out[29999], 0.0f);
        EXPECT_TRUE(e.eg.isMuted());
        EXPECT_TRUE(e.eg.isConstant());
    }
}

TEST(EnvelopeGenerator, InputsAreReadAtControlRate)
{
    // The sustain moves from 0.8 to 0.2 in the middle of the sustain stage:
    // the EG notices it at its next read (a multiple of 64 samples after the
    // start) and decays there over the decay time, without a jump.
    Envelope e(0.002f, 0.01f, 0.8f, 0.5f);
    e.eg.midiStart();
    std::vector<float> out = e.run(1000);
    EXPECT_EQ(out[999], 0.8f);
    e.eg.getSustainInput().getInternal().setTarget(0.0f, 0.2f);
    out = e.run(1000);
    EXPECT_EQ(out[23], 0.8f); // 1024 is the first read after the change
    EXPECT_LT(out[24], 0.8f);
    EXPECT_NEAR(out[24 + 240], 0.5f, 1e-3f); // half way through the 10 ms decay
    EXPECT_NEAR(out[999], 0.2f, 1e-6f);
    double steepest = 0.0;
    for (std::size_t k = 1; k < out.size(); ++k)
        steepest = std::max(steepest, static_cast<double>(std::fabs(out[k] - out[k - 1])));
    EXPECT_LT(steepest, 0.6 / 480.0 * 1.01);
}

TEST(EnvelopeGenerator, HeldNotesStartAndReleaseTheEnvelope)
{
    Envelope e(0.01f, 0.1f, 0.5f, 0.05f);
    NoteTriggers notes;
    notes.addEnvelopeGenerator(e.eg);
    notes.noteOn(60, 1.0f);
    std::vector<float> out = e.run(2000); // in the decay
    const float before = out.back();
    notes.noteOn(64, 1.0f); // a second note restarts the attack from here
    out = e.run(1000);
    EXPECT_NEAR(out[0], before, 0.001f);
    EXPECT_GT(out[1], out[0]);
    EXPECT_NEAR(out[100], before + (1.0f - before) * 100.0f / 480.0f, 1e-4f);
    notes.noteOff(60, 0.0f); // one note still held: nothing changes
    e.run(1000);
    EXPECT_TRUE(e.eg.isGateOpen());
    notes.noteOff(64, 0.0f);
    EXPECT_FALSE(e.eg.isGateOpen());
    out = e.run(3000);
    EXPECT_EQ(out[2400], 0.0f);
    notes.noteOff(64, 0.0f); // nothing counted: ignored
    EXPECT_EQ(notes.getHeldNotes(), 0);

    // Note 0 empties the count and releases at once.
    notes.noteOn(60, 1.0f);
    notes.noteOn(62, 1.0f);
    e.run(1000);
    notes.noteOn(0, 1.0f);
    EXPECT_EQ(notes.getHeldNotes(), 0);
    EXPECT_FALSE(e.eg.isGateOpen());

    // An EG triggered by audio ignores notes; switching away from MIDI
    // releases a held gate.
    notes.noteOn(60, 1.0f);
    e.run(1000);
    EXPECT_TRUE(e.eg.isGateOpen());
    e.eg.triggering = Triggering::NormalInput;
    EXPECT_FALSE(e.eg.isGateOpen());
    notes.noteOn(61, 1.0f);
    e.run(1000);
    EXPECT_FALSE(e.eg.isGateOpen());
}

TEST(EnvelopeGenerator, AudioTriggerOpensAtThresholdAndHoldsFifteenMilliseconds)
{
    // Level 0.08 from sample 1000 opens the gate (threshold 0.072, the
    // display value of 0.3); 0.05 keeps it open (above half the threshold);
    // 0.03 from sample 4000 closes it once it stayed below 0.036 for more
    // than 15 ms (720 samples): at sample 4720.
    std::vector<float> level(10000, 0.0f);
    std::fill(level.begin() + 1000, level.begin() + 2000, 0.08f);
    std::fill(level.begin() + 2000, level.begin() + 4000, 0.05f);
    std::fill(level.begin() + 4000, level.end(), 0.03f);
    wave::Graph graph(rate);
    harness::SignalPlayer mainLevel(graph, level);
    harness::SignalPlayer sideLevel(graph, std::vector<float>(10000, 1.0f));
    Trigger trigger(graph, &mainLevel);
    trigger.threshold = 0.072f;
    EnvelopeGenerator eg(graph, &trigger);
    eg.getAttackInput().getInternal().setTarget(0.0f, 0.002f);
    eg.getSustainInput().getInternal().setTarget(0.0f, 0.7f);
    eg.getReleaseInput().getInternal().setTarget(0.0f, 0.01f);
    std::vector<int> on, off;
    std::vector<float> out;
    for (int frame = 0; frame < 10; ++frame) {
        graph.nextFrame();
        const wave::Block& b = eg.pull(1000);
        out.insert(out.end(), b.data(), b.data() + 1000);
        for (int i = 0; i < trigger.getEventCount(); ++i)
            (trigger.getEvent(i).on ? on : off).push_back(frame * 1000 + trigger.getEvent(i).position);
        graph.advance(1000);
    }
    EXPECT_EQ(on, std::vector<int>{1000});
    EXPECT_EQ(off, std::vector<int>{4720});
    EXPECT_EQ(trigger.getReleaseCount(), 720);
    EXPECT_EQ(out[999], 0.0f);
    EXPECT_GT(out[1001], 0.0f);
    EXPECT_EQ(out[4000], 0.7f);
    EXPECT_EQ(out[4719], 0.7f); // the release starts with the off event's group of four
    EXPECT_LT(out[4721], 0.7f);
    EXPECT_EQ(out[9999], 0.0f);

    // The same trigger on the side-chain level, which stays loud.
    eg.reset();
    trigger.setSource(&sideLevel);
    out = harness::pullFrames(graph, eg, 3000);
    EXPECT_EQ(out[2999], 0.7f);
    // MIDI triggering switches the audio trigger off.
    eg.triggering = Triggering::Midi;
    EXPECT_FALSE(trigger.enabled);
    out = harness::pullFrames(graph, eg, 2000);
    EXPECT_EQ(out[1999], 0.0f);
}

TEST(EnvelopeGenerator, BadInputsGiveABoundedFiniteOutputAndRecover)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf, -1.0f, 1e30f}) {
        Envelope e(0.01f, 0.1f, 0.5f, 0.1f);
        harness::SignalPlayer input(e.graph, {bad});
        e.connectAll(&input);
        e.eg.midiStart();
        std::vector<float> out = e.run(5000);
        e.eg.midiRelease();
        const std::vector<float> tail = e.run(5000);
        out.insert(out.end(), tail.begin(), tail.end());
        for (float v : out)
            ASSERT_TRUE(std::isfinite(v) && v >= 0.0f && v <= 1.0f) << bad << " gave " << v;
        // Back to good inputs: a normal envelope again.
        e.connectAll(nullptr);
        e.eg.midiStart();
        out = e.run(6000);
        EXPECT_NEAR(out[480], 1.0f, 1e-3f) << bad;
        EXPECT_NEAR(out[5999], 0.5f, 1e-6f) << bad;
    }
}
