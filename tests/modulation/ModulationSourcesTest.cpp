// The modulation sources: the step LFO, the envelope follower, the envelope
// generator and the MIDI sources, run on a bare graph or as the generic
// plug-in runs them.
#include "framework/AbstractMusicEventReceiver.h"
#include "framework/GenericPlugin.h"
#include "modulation/EnvelopeFollower.h"
#include "modulation/EnvelopeGenerator.h"
#include "modulation/MidiModSource.h"
#include "modulation/NoteTriggers.h"
#include "modulation/Trigger.h"
#include "modulation/XLFO.h"
#include "modulation/XLFOFreqController.h"
#include "wave/Graph.h"
#include "wave/Producer.h"
#include "wave/Source.h"

#include "GraphRender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <string>
#include <vector>

// Drives modulation sources the way the generic plug-in does: a one-channel
// plug-in whose output is the source under test, transport handed over
// before every host block, the block split into sub-blocks of at most 1024
// samples and at every MIDI event, MIDI decoded through the default event
// receiver. Tests that need no plug-in pull their source through a bare
// graph (render, from the shared test support).
namespace harness {

class SourcePlugin : public GenericPlugin {
public:
    explicit SourcePlugin(float sampleRate)
    {
        getGraph().setSampleRate(sampleRate);
        setNumChannels(1);
        initialize("Harness");
    }
    ~SourcePlugin() override { terminate(); }

    std::string presetMagic() const override { return "Test"; }
    void setTransport(double tempo, double position) override
    {
        for (XLFOFreqController* c : controllers)
            c->setTempoAndPosition(tempo, position);
    }

    // While building, after the nodes exist: the channel's output.
    void setOutputNode(wave::Producer& node)
    {
        auto* channel = new GenericPlugin::Channel(*this);
        channel->setOutput(&node);
        applyAllParameters();
    }
    AbstractChannelEventReceiver& receiver() const
    {
        return *static_cast<DefaultEventReceiver*>(getEventReceiver())->getCurrentReceiver();
    }

    // Host blocks of hostBlock samples; before each, the transport at
    // `tempo` from song position 0 (when tempo > 0) and the hook.
    template <typename Hook>
    std::vector<float> render(int total, int hostBlock, double tempo, Hook beforeBlock)
    {
        std::vector<float> out(static_cast<std::size_t>(total));
        const double rate = static_cast<double>(getGraph().getSampleRate());
        for (int start = 0; start < total; start += hostBlock) {
            const int n = std::min(hostBlock, total - start);
            if (tempo > 0.0)
                setTransport(tempo, static_cast<double>(start) / rate * tempo / 60.0);
            beforeBlock(start, n);
            float* outputs[1] = {out.data() + start};
            process(nullptr, 0, outputs, 1, n);
        }
        return out;
    }
    std::vector<float> render(int total, int hostBlock, double tempo = 0.0)
    {
        return render(total, hostBlock, tempo, [](int, int) {});
    }

    std::vector<XLFOFreqController*> controllers;
};

// Plays a prepared signal, one frame at a time.
class SignalPlayer : public wave::Source {
public:
    SignalPlayer(wave::Graph& graph, std::vector<float> samples)
        : wave::Source(graph), signal(std::move(samples))
    {
    }
    int process(wave::Block& target, int numSamples, int) override
    {
        for (int k = 0; k < numSamples; ++k, ++read)
            target[k] = read < signal.size() ? signal[read] : signal.back();
        setConstant(false);
        return numSamples;
    }
    std::vector<float> signal;
    std::size_t read = 0;
};

} // namespace harness

namespace {

constexpr float rate = 48000.0f;

struct Follower {
    Follower(std::vector<float> input, float attack, float release)
        : graph(rate), audio(graph, std::move(input)), ef(graph, &audio)
    {
        ef.getAttackInput().getInternal().setTarget(0.0f, attack);
        ef.getReleaseInput().getInternal().setTarget(0.0f, release);
    }
    std::vector<float> run(int n) { return ::render(graph, ef, n, 1000); }
    wave::Graph graph;
    harness::SignalPlayer audio;
    EnvelopeFollower ef;
};

struct Envelope {
    explicit Envelope(float attack, float decay, float sustain, float release) : graph(rate), eg(graph)
    {
        eg.getAttackInput().getInternal().setTarget(0.0f, attack);
        eg.getDecayInput().getInternal().setTarget(0.0f, decay);
        eg.getSustainInput().getInternal().setTarget(0.0f, sustain);
        eg.getReleaseInput().getInternal().setTarget(0.0f, release);
        eg.triggering = Triggering::Midi;
    }
    std::vector<float> run(int n) { return ::render(graph, eg, n, 1000); }
    void connectAll(wave::Producer* input)
    {
        for (auto* i :
             {&eg.getAttackInput(), &eg.getDecayInput(), &eg.getSustainInput(), &eg.getReleaseInput()})
            i->connect(input);
    }
    wave::Graph graph;
    EnvelopeGenerator eg;
};

using Input = MidiModSource::MidiInput;

// A plug-in whose output is one MIDI source listening on the default
// receiver, fed with raw messages through the event queue.
struct MidiRig {
    MidiRig() : source(plugin.getGraph())
    {
        plugin.receiver().addListener(&source);
        plugin.setOutputNode(source);
    }
    // Sends the messages at offset 0 of a host block and renders 200 ms,
    // long enough for any glide to arrive; returns the last sample.
    float send(std::vector<std::vector<int>> messages)
    {
        for (const auto& m : messages)
            plugin.queueMidiEvent(0, m[0], m[1], m[2]);
        return plugin.render(9600, 960).back();
    }
    harness::SourcePlugin plugin{rate};
    MidiModSource source;
};

constexpr double rateD = 48000.0;

// Lengths of the runs of equal values.
std::vector<int> runLengths(const std::vector<float>& v)
{
    std::vector<int> runs;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i == 0 || v[i] != v[i - 1])
            runs.push_back(0);
        ++runs.back();
    }
    return runs;
}

void setSteps(XLFO& x, const std::vector<float>& values)
{
    x.numSteps = static_cast<int>(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        x.getStep(static_cast<int>(i)).value = values[i];
}

// The triangle a two-step (1, -1) sequence with global glide 1 draws.
double triangle(double cycles)
{
    const double t = cycles - std::floor(cycles);
    return t < 0.5 ? 1.0 - 4.0 * t : -1.0 + 4.0 * (t - 0.5);
}

// A free-running XLFO on a bare graph.
struct Lfo {
    Lfo(const std::vector<float>& steps, float hz, float glide = 0.0f)
    {
        setSteps(x, steps);
        x.getFrequencyInput().getInternal().setTarget(0.0f, hz);
        x.getGlideInput().getInternal().setTarget(0.0f, glide);
    }
    std::vector<float> run(int n, int frame = 1024) { return ::render(graph, x, n, frame); }
    wave::Graph graph{rate};
    XLFO x{graph};
};

// An XLFO synchronized to the host's bars inside a plug-in, its notes
// decoded from the plug-in's MIDI.
struct SyncedLfo {
    SyncedLfo(const std::vector<float>& steps, SyncMode mode)
    {
        x.getFrequencyInput().connect(&c);
        c.syncMode = mode;
        setSteps(x, steps);
        plugin.controllers.push_back(&c);
        notes.addXLFO(x);
        plugin.receiver().addListener(&notes);
    }
    harness::SourcePlugin plugin{rate};
    XLFO x{plugin.getGraph()};
    XLFOFreqController c{plugin.getGraph(), x};
    NoteTriggers notes;
};

struct Indicator final : XLFO::Listener {
    void indicatorChanged(XLFO&, int value) override { changes.push_back(value); }
    std::vector<int> changes;
};

} // namespace

TEST(EnvelopeFollower, StartsAtZeroAndCoversNinetyPercentInTheAttackTime)
{
    // Silence reads as the -60 dB floor from the very first sample.
    Follower silence(std::vector<float>(1, 0.0f), 0.0005f, 0.1f);
    for (float v : silence.run(3000))
        ASSERT_EQ(v, 0.0f);
    // Full scale from silence with a 10 ms attack: 0.9 of the way to 1 after
    // 480 samples; the step response is 1 - (1 - c)^k with (1 - c)^480 = 0.1.
    Follower attack(std::vector<float>(1, 1.0f), 0.01f, 0.1f);
    const std::vector<float> rise = attack.run(2000);
    EXPECT_NEAR(rise[479], 0.9f, 1e-5f);
    EXPECT_NEAR(rise[239], 1.0f - std::sqrt(0.1f), 1e-5f);
    EXPECT_NEAR(rise[1999], 1.0f, 1e-4f);
    EXPECT_GT(rise[0], 0.0f);
    // From full scale, the 50 ms minimum release falls to 0.1 in 2400 samples.
    std::vector<float> input(10000, 1.0f);
    std::fill(input.begin() + 5000, input.end(), 0.0f);
    Follower release(input, 0.0005f, 0.05f);
    const std::vector<float> fall = release.run(10000);
    EXPECT_NEAR(fall[4999], 1.0f, 1e-5f);
    EXPECT_NEAR(fall[5000 + 2399], 0.1f, 1e-5f);
    // A release tail into silence ends at 0 without passing through
    // subnormal numbers (slow on many processors), even where the caller
    // does not flush them.
    input.assign(1000, 1.0f);
    input.resize(200000, 0.0f);
    Follower tail(input, 0.0005f, 0.05f);
    const std::vector<float> out = tail.run(200000);
    for (std::size_t k = 0; k < out.size(); ++k)
        ASSERT_NE(std::fpclassify(out[k]), FP_SUBNORMAL) << k;
    EXPECT_EQ(std::pair(out.back(), tail.ef.getLevel()), std::pair(0.0f, 0.0f));
    // Louder than full scale reads above 1: +6.02 dB gives 1.1003.
    Follower loud(std::vector<float>(1, 2.0f), 0.0005f, 0.1f);
    EXPECT_NEAR(loud.run(2000).back(), (20.0f * std::log10(2.0f) + 60.0f) / 60.0f, 1e-5f);
}

TEST(EnvelopeFollower, SineHalfWavesAreRectifiedBySmoothing)
{
    // A 100 Hz sine of -20 dBFS peak: positive half-waves read up to -20 dB
    // (0.667), negative ones as the floor; with a fast attack and a slower
    // release the output rides just under 0.667 and dips between peaks.
    std::vector<float> sine(48000);
    for (std::size_t k = 0; k < sine.size(); ++k)
        sine[k] = 0.1f * static_cast<float>(std::sin(2.0 * 3.141592653589793 * 100.0 * k / 48000.0));
    Follower f(sine, 0.001f, 0.1f);
    const std::vector<float> out = f.run(48000);
    float high = 0.0f;
    float low = 1.0f;
    for (std::size_t k = 24000; k < out.size(); ++k) {
        high = std::max(high, out[k]);
        low = std::min(low, out[k]);
    }
    EXPECT_LE(high, 2.0f / 3.0f + 1e-5f);
    EXPECT_GT(high, 0.66f);
    // Half a period (5 ms) of release from 0.667: 0.667 * 0.1^(240 / 4800).
    EXPECT_NEAR(low, 2.0f / 3.0f * std::pow(0.1f, 240.0f / 4800.0f), 0.02f);
}

TEST(EnvelopeFollower, BadInputsGiveABoundedFiniteOutputAndRecover)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> input;
    for (float bad : {nan, inf, -inf, 1e30f, 1.0f})
        input.insert(input.end(), 1000, bad);
    for (float badTime : {nan, inf, -1.0f, 0.0f, 1e30f}) {
        Follower f(input, 0.001f, 0.1f);
        harness::SignalPlayer time(f.graph, {badTime});
        f.ef.getAttackInput().connect(&time);
        f.ef.getReleaseInput().connect(&time);
        const std::vector<float> out = f.run(5000);
        for (float v : out)
            ASSERT_TRUE(std::isfinite(v) && v >= 0.0f && v <= 2.0f) << badTime << " gave " << v;
        // Good times again: full scale settles at 1.
        f.ef.getAttackInput().connect(nullptr);
        f.ef.getReleaseInput().connect(nullptr);
        EXPECT_NEAR(f.run(2000).back(), 1.0f, 1e-4f) << badTime;
    }
}

TEST(EnvelopeGenerator, StageLengthsAndShapes)
{
    // Attack 10 ms: 480 samples rising along a straight line from 0 to just
    // below 1, then a 100 ms decay to the sustain level of 0.5.
    Envelope adsr(0.01f, 0.1f, 0.5f, 0.5f);
    adsr.eg.midiStart();
    const std::vector<float> out = adsr.run(6000);
    for (int k = 0; k < 480; ++k)
        ASSERT_NEAR(out[static_cast<std::size_t>(k)], k / 480.0f, 2e-6f) << k;
    EXPECT_GT(out[479], 0.99f);
    EXPECT_LT(out[479], 1.0f);
    EXPECT_NEAR(out[480], 1.0f, 1e-6f);
    EXPECT_NEAR(out[480 + 2400], 0.75f, 1e-4f);
    EXPECT_NEAR(out[480 + 4800], 0.5f, 1e-6f);
    EXPECT_EQ(out[5999], 0.5f);
    EXPECT_TRUE(adsr.eg.isGateOpen());
    // Sustain 1: after the attack the output stays at 1 whatever the decay.
    Envelope full(0.002f, 3.0f, 1.0f, 0.5f);
    full.eg.midiStart();
    const std::vector<float> top = full.run(20000);
    for (std::size_t k = 96; k < top.size(); ++k)
        ASSERT_EQ(top[k], 1.0f) << k;
    // Release 0.5 s from 0.6: a straight fall to 0 in 24000 samples, then 0
    // and silence.
    Envelope fall(0.002f, 0.002f, 0.6f, 0.5f);
    fall.eg.midiStart();
    fall.run(4000);
    EXPECT_FALSE(fall.eg.isMuted());
    fall.eg.midiRelease();
    const std::vector<float> tail = fall.run(30000);
    for (int k = 0; k <= 24000; ++k)
        ASSERT_NEAR(tail[static_cast<std::size_t>(k)], 0.6f * (1.0f - k / 24000.0f), 2e-6f) << k;
    EXPECT_EQ(std::pair(tail[24000], tail[29999]), std::pair(0.0f, 0.0f));
    EXPECT_TRUE(fall.eg.isMuted() && fall.eg.isConstant());
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
    // A sustain that moves without resting is read at every read inside a
    // block too: 0.2 from sample 1200 on is heard from the read at 1216.
    Envelope moving(0.002f, 0.01f, 0.8f, 0.5f);
    harness::SignalPlayer sustain(moving.graph, std::vector<float>(1200, 0.8f));
    sustain.signal.push_back(0.2f);
    moving.eg.getSustainInput().connect(&sustain);
    moving.eg.midiStart();
    const std::vector<float> steps = moving.run(2000);
    EXPECT_EQ(std::pair(steps[1215], steps[1216] < 0.8f), std::pair(0.8f, true));
    moving.eg.getSustainInput().connect(nullptr); // the player, made later, goes first
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
    EXPECT_EQ(std::pair(notes.getHeldNotes(), e.eg.isGateOpen()), std::pair(0, false));

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
    // than 15 ms (720 samples), counted across blocks of 700: at sample 4720,
    // though 0.05 comes back at 4800 (in the same block; it opens nothing).
    std::vector<float> level(10000, 0.05f);
    std::fill(level.begin(), level.begin() + 1000, 0.0f);
    std::fill(level.begin() + 1000, level.begin() + 2000, 0.08f);
    std::fill(level.begin() + 4000, level.begin() + 4800, 0.03f);
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
    for (int frame = 0; frame < 14; ++frame) {
        graph.nextFrame();
        const wave::Block& b = eg.pull(700);
        out.insert(out.end(), b.data(), b.data() + 700);
        for (int i = 0; i < trigger.getEventCount(); ++i)
            (trigger.getEvent(i).on ? on : off).push_back(frame * 700 + trigger.getEvent(i).position);
        graph.advance(700);
    }
    EXPECT_EQ(std::tuple(on, off, trigger.getReleaseCount()),
              std::tuple(std::vector{1000}, std::vector{4720}, 720));
    // The release starts with the off event's group of four.
    EXPECT_EQ(std::tuple(out[999], out[1001] > 0.0f, out[4000], out[4719], out[4721] < 0.7f, out[9799]),
              std::tuple(0.0f, true, 0.7f, 0.7f, true, 0.0f));

    // The same trigger on the side-chain level, which stays loud.
    eg.reset();
    trigger.setSource(&sideLevel);
    EXPECT_EQ(::render(graph, eg, 3000, 1024)[2999], 0.7f);
    // MIDI triggering switches the audio trigger off.
    eg.triggering = Triggering::Midi;
    EXPECT_EQ(std::pair(trigger.enabled.get(), ::render(graph, eg, 2000, 1024)[1999]),
              std::pair(false, 0.0f));
}

TEST(EnvelopeGenerator, TriggersSharingTheirSearchesFindWhatEachFindsAlone)
{
    // Triggers run in turn as the effect runs its envelopes' (the second
    // reset every fifth block, a shorter hold, another level, a higher
    // threshold): sharing with the first, each hears what it hears alone.
    std::vector<float> wave(40000);
    for (std::size_t k = 0; k < wave.size(); ++k)
        wave[k] = std::fabs(std::sin(0.01f * k) * std::sin(0.0007f * k));
    wave::Graph graph(rate);
    harness::SignalPlayer a(graph, wave), b(graph, std::vector<float>(wave.rbegin(), wave.rend()));
    std::deque<Trigger> alone, shared;
    for (int i = 0; i < 12; ++i) {
        std::deque<Trigger>& set = i % 2 ? shared : alone;
        Trigger* first = i % 2 && i > 1 ? &shared.front() : nullptr;
        set.emplace_back(graph, i / 2 == 3 ? &b : &a, first).threshold = i / 2 == 5 ? 0.7f : 0.5f;
        set.back().holdTime = i / 2 == 2 ? 5.0f : 15.0f;
    }
    for (int frame = 0; frame < 80; ++frame) {
        graph.nextFrame();
        for (std::size_t i = 0; i < alone.size(); ++i) {
            for (auto* set : {&alone, &shared}) {
                if (i == 1 && frame % 5 == 0)
                    (*set)[i].reset();
                (*set)[i].run(500);
            }
            ASSERT_EQ(std::pair(alone[i].isOn(), alone[i].getEventCount()),
                      std::pair(shared[i].isOn(), shared[i].getEventCount()))
                << frame << " " << i;
            for (int e = 0; e < alone[i].getEventCount(); ++e)
                ASSERT_EQ(alone[i].getEvent(e).position, shared[i].getEvent(e).position) << frame << " " << i;
        }
        graph.advance(500);
    }
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

TEST(MidiModSource, EachInputScalesItsMessages)
{
    MidiRig rig;
    MidiModSource& s = rig.source;
    // Pitch bend: the centre (8192) is 2 * (8192 / 16383 - 0.5), not 0.
    s.input = Input::PitchBend;
    EXPECT_FLOAT_EQ(rig.send({{0xE0, 0, 64}}), 2.0f * (8192.0f * 6.103888154029846e-05f - 0.5f));
    EXPECT_NEAR(s.getStoredValue(MidiModSource::pitchBendEntry), 0.000061f, 1e-6f);
    EXPECT_FLOAT_EQ(rig.send({{0xE3, 0, 0}}), -1.0f);
    EXPECT_FLOAT_EQ(rig.send({{0xE3, 127, 127}}), 1.0f);
    // KB Track: 0 at note 48, 0.1 at note 60; velocity from -1 to 1.
    s.input = Input::KBTrack;
    EXPECT_NEAR(rig.send({{0x90, 60, 127}}), 0.1f, 1e-6f);
    EXPECT_FLOAT_EQ(rig.send({{0x90, 48, 1}}), 0.0f);
    s.input = Input::Velocity;
    EXPECT_FLOAT_EQ(rig.send({{0x90, 50, 127}}), 1.0f);
    EXPECT_FLOAT_EQ(rig.send({{0x80, 50, 0}, {0x90, 50, 0}}), 1.0f); // note-offs leave it
    EXPECT_NEAR(rig.send({{0x90, 50, 32}}), 2.0f * 32.0f / 127.0f - 1.0f, 1e-6f);
    // Aftertouch: channel and key pressure share one value.
    s.input = Input::Aftertouch;
    EXPECT_NEAR(rig.send({{0xD0, 100, 0}}), 100.0f / 127.0f, 1e-6f);
    EXPECT_NEAR(rig.send({{0xA0, 60, 20}}), 20.0f / 127.0f, 1e-6f);
    // A controller: number 1 is the mod wheel too, so both entries move.
    s.input = Input::Controller;
    s.controllerNumber = 1;
    EXPECT_NEAR(rig.send({{0xB0, 1, 64}}), 64.0f / 127.0f, 1e-6f);
    EXPECT_NEAR(s.getStoredValue(MidiModSource::modWheelEntry), 64.0f / 127.0f, 1e-6f);
    EXPECT_NEAR(rig.send({{0xB5, 74, 127}}), 64.0f / 127.0f, 1e-6f); // another controller
    // Choosing an input jumps (gliding) to that control's last value.
    s.controllerNumber = 74;
    EXPECT_FLOAT_EQ(rig.send({}), 1.0f);
    s.input = Input::PitchBend;
    EXPECT_FLOAT_EQ(rig.send({}), 1.0f);
    s.input = Input::ModWheel;
    EXPECT_NEAR(rig.send({}), 64.0f / 127.0f, 1e-6f);
    EXPECT_TRUE(s.isConstant());
    // A controller number past 127 from a careless caller is no controller:
    // it must not land on the entries behind the controllers.
    for (int bad : {128, 129, 132, 500, -1})
        s.controlChange(bad, 0, -0.75f);
    for (int entry = MidiModSource::modWheelEntry; entry < MidiModSource::entryCount; ++entry)
        EXPECT_NE(s.getStoredValue(entry), -0.75f) << entry;
    EXPECT_NEAR(rig.send({}), 64.0f / 127.0f, 1e-6f);
}

TEST(MidiModSource, ChangesGlideLikeParameters)
{
    // A full move (more than 0.15) glides in 20 ms, a small one longer.
    MidiRig rig;
    rig.plugin.queueMidiEvent(0, 0xB0, 1, 127);
    std::vector<float> out = rig.plugin.render(2400, 480);
    EXPECT_NEAR(out[480], 0.5f, 1e-3f); // half way after 10 ms
    EXPECT_EQ(std::pair(out[959] < 1.0f, out[960]), std::pair(true, 1.0f)); // 20 ms
    rig.plugin.queueMidiEvent(0, 0xB0, 1, 120); // 0.055 of 0.5: 20 + 130 * ((0.3 - 0.11) * 3.333)^2 ms
    out = rig.plugin.render(9600, 480);
    const double ms = 20.0 + 130.0 * std::pow((0.3 - (7.0 / 127.0) / 0.5) * 3.3333333, 2.0);
    const std::size_t arrival = static_cast<std::size_t>(48.0 * ms);
    EXPECT_GT(out[arrival - 48], 120.0f / 127.0f);
    EXPECT_NEAR(out[arrival + 1], 120.0f / 127.0f, 1e-6f);
}

TEST(XLFO, TwoStepSquareFollowsTheBalanceAndFastSequencesShowTheirPeak)
{
    // One LFO throughout: a new balance or sample rate takes effect.
    Lfo l({1.0f, -1.0f}, 1.0f);
    for (auto [balance, cycle] : {std::pair{0.5f, 48000}, {0.25f, 48000}, {0.25f, 24000}}) {
        l.x.balance = balance;
        l.graph.setSampleRate(static_cast<float>(cycle));
        Indicator indicator;
        l.x.addListener(&indicator);
        const std::vector<float> out = l.run(2 * cycle, 1000);
        const int first = static_cast<int>(static_cast<float>(cycle) * balance);
        EXPECT_EQ(runLengths(out), (std::vector<int>{first, cycle - first, first, cycle - first}))
            << "balance " << balance << " at " << cycle;
        EXPECT_EQ(std::pair(out.front(), out.back()), std::pair(1.0f, -1.0f));
        // Halves of 250 ms and more blink the indicator; the second cycle
        // ends with the last sample.
        EXPECT_EQ(indicator.changes, (std::vector<int>{1, 0, 1, 0}));
        EXPECT_EQ(std::pair(l.x.isFast(), l.x.getDisplayLevel()),
                  std::pair(false, 0.0f)); // the last block began at -1
        l.x.removeListener(&indicator);
    }
    // Between blocks, inside a step: a step's value, the number of steps and the
    // balance count from the next block on; a step that ends with a block is over.
    Lfo changed({0.5f, -0.5f, 0.1f, 0.2f}, 1.0f);
    changed.x.numSteps = 2; // steps of 24000 samples
    changed.run(1000, 1000);
    changed.x.getStep(0).value = 0.25f;
    EXPECT_EQ(changed.run(1000, 1000)[0], 0.25f);
    changed.x.numSteps = 4; // the first step ends at 12000
    EXPECT_EQ(runLengths(changed.run(11000, 1000)), (std::vector<int>{10000, 1000}));
    changed.x.balance = 0.75f; // the second step's rest takes 16500 samples instead of 11000
    EXPECT_EQ(runLengths(changed.run(17000, 1000))[0], 16500);
    // 16 steps at 500 Hz: fast, showing the peak of the steps in use.
    std::vector<float> values(16, -0.5f);
    values[7] = 0.6f;
    Lfo fast(values, 500.0f);
    Indicator indicator;
    fast.x.addListener(&indicator);
    fast.run(4800);
    EXPECT_EQ(std::tuple(fast.x.isFast(), fast.x.getPeakValue(), fast.x.getDisplayLevel()),
              std::tuple(true, 0.6f, 0.8f));
    EXPECT_TRUE(indicator.changes.empty()); // 1 ms halves never blink
    fast.x.numSteps = 4;
    EXPECT_FLOAT_EQ(fast.x.getPeakValue(), -0.5f);
}

TEST(XLFO, GlideShapesAndLimits)
{
    // Global glide 1 with step glide 0: each step glides over its whole
    // length into the next, a triangle for (1, -1).
    Lfo full({1.0f, -1.0f}, 1.0f, 1.0f);
    const std::vector<float> out = full.run(48000);
    double worst = 0.0;
    for (int k = 0; k < 48000; ++k)
        worst = std::max(
            worst, std::fabs(static_cast<double>(out[static_cast<std::size_t>(k)]) - triangle(k / 48000.0)));
    EXPECT_LT(worst, 1e-4);
    // The curves halfway through a full-length glide from 1 to -1.
    const std::pair<XLFO::GlideCurve, float> shapes[] = {
        {XLFO::GlideCurve::Linear, 0.0f},
        {XLFO::GlideCurve::Sqr, 0.5f},
        {XLFO::GlideCurve::Sqrt, 1.0f - 2.0f * std::sqrt(0.5f)},
        {XLFO::GlideCurve::Sine, 0.0f}};
    for (const auto& [shape, expected] : shapes) {
        Lfo l({1.0f, -1.0f}, 1.0f);
        l.x.getStep(0).glide = 1.0f;
        l.x.getStep(0).glideCurve = shape;
        const std::vector<float> half = l.run(24000);
        EXPECT_NEAR(half[12000], expected, 1e-3) << static_cast<int>(shape);
        EXPECT_NEAR(half[6000], 1.0f - 2.0f * XLFO::Step::curveFor(shape)(0.25f), 1e-3)
            << static_cast<int>(shape);
    }
    // Global glide -1 (from the second block on) cancels a full step glide: a square again.
    Lfo cancelled({1.0f, -1.0f}, 1.0f);
    cancelled.x.getStep(0).glide = 1.0f;
    cancelled.x.getStep(1).glide = 1.0f;
    cancelled.run(1024);
    cancelled.x.getGlideInput().getInternal().setTarget(0.0f, -1.0f);
    EXPECT_EQ(runLengths(cancelled.run(48000 - 1024)), (std::vector<int>{24000 - 1024, 24000}));
    // Fast steps glide a little even without glide: at 2000 Hz the last
    // 16 % of a 12-sample step, which only its last sample reaches.
    Lfo fast({1.0f, -1.0f}, 2000.0f);
    const std::vector<float> steps = fast.run(96);
    EXPECT_EQ(std::count_if(steps.begin(), steps.end(), [](float v) { return v != 1.0f && v != -1.0f; }), 8);
    const double lim = 1.0 - std::pow((2000.0 - 0.001) * 0.0002, 2.0);
    EXPECT_NEAR(steps[11], 1.0 - 2.0 * (11.0 / 12.0 - lim) / (1.0 - lim), 1e-4);
}

TEST(XLFO, RandomStepsKeepTheirDistanceAndChangeEveryPass)
{
    // A draw of 0.15 after a step at 0.1 lands 0.2 below it instead.
    Lfo one({0.1f, 0.0f}, 1.0f);
    one.x.getStep(1).random = true;
    one.x.setRandomState(1258291); // the next draw is 2 * 1258291 / 2^24 = 0.15
    const std::vector<float> drawn = one.run(48000);
    EXPECT_EQ(drawn[100], 0.1f);
    EXPECT_FLOAT_EQ(drawn[30000], 0.1f - 0.2f);
    EXPECT_FLOAT_EQ(one.x.getStep(1).randomValue, 0.1f - 0.2f);
    // Four random steps over many passes: every step differs from the one
    // before by at least 0.2, and the values keep changing.
    Lfo l({0.0f, 0.0f, 0.0f, 0.0f}, 50.0f); // 240 samples per step
    for (int i = 0; i < 4; ++i)
        l.x.getStep(i).random = true;
    l.x.setRandomState(4711);
    const std::vector<float> out = l.run(48000, 1000);
    std::vector<float> values;
    for (std::size_t k = 120; k < out.size(); k += 240) // the middle of each step
        values.push_back(out[k]);
    int distinct = 0;
    for (std::size_t i = 1; i < values.size(); ++i) {
        EXPECT_GE(std::fabs(values[i] - values[i - 1]), 0.2f - 1e-6f) << i;
        EXPECT_TRUE(values[i] >= -1.0f && values[i] <= 1.0f) << values[i];
        distinct += values[i] != values[i > 4 ? i - 4 : i];
    }
    EXPECT_GT(distinct, static_cast<int>(values.size()) / 2);
}

TEST(XLFO, NoteTriggerRestartsAtTheExactSample)
{
    // Free running at an odd rate with glide, so every sample differs; a
    // note-on at offset 700 of the third host block restarts the cycle
    // there: from that sample on the output is a fresh XLFO's.
    const std::vector<float> steps = {0.9f, -0.3f, 0.5f};
    harness::SourcePlugin plugin(rate);
    XLFO x(plugin.getGraph());
    setSteps(x, steps);
    x.getGlideInput().getInternal().setTarget(0.0f, 0.7f);
    x.getFrequencyInput().getInternal().setTarget(0.0f, 3.7f);
    x.midiTrigger = true;
    NoteTriggers notes;
    notes.addXLFO(x);
    plugin.receiver().addListener(&notes);
    plugin.setOutputNode(x);
    const int trigger = 2 * 1000 + 700;
    const std::vector<float> out = plugin.render(20000, 1000, 0.0, [&](int start, int) {
        if (start == 2000)
            plugin.queueMidiEvent(700, 0x90, 60, 100);
        if (start == 5000)
            plugin.queueMidiEvent(10, 0x90, 0, 100); // note 0 resets counts, no restart
    });
    Lfo fresh(steps, 3.7f, 0.7f);
    const std::vector<float> reference = fresh.run(20000 - trigger);
    EXPECT_NE(out[trigger - 1], reference[0]);
    for (std::size_t j = 0; j < reference.size(); ++j)
        ASSERT_EQ(out[trigger + j], reference[j]) << j;
    EXPECT_EQ(notes.getHeldNotes(), 0);
}

TEST(XLFO, SynchronizedCycleFollowsTheHostsBars)
{
    // "1/4" at 120 BPM is 2 Hz; an unknown tempo counts as 120, and so does
    // one no host can mean.
    Lfo l({1.0f}, 1.0f);
    XLFOFreqController c(l.graph, l.x);
    c.syncMode = SyncMode::SyncQuarterBar;
    for (double unknown : {120.0, 0.0, -90.0, std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity()}) {
        c.setTempoAndPosition(60.0, 0.0);
        c.setTempoAndPosition(unknown, 0.0);
        EXPECT_FLOAT_EQ(c.getBaseTarget(), 2.0f) << unknown;
    }
    // Sixteen bars at 120 BPM through host blocks of 512 and of 1000: the
    // same output, steps changing exactly on the host's beats, random steps
    // and glides included.
    auto renderBars = [](int hostBlock) {
        SyncedLfo s({0.75f, -0.25f, 0.5f, -1.0f}, SyncMode::Sync1Bar);
        s.x.balance = 0.375f; // steps 1-2 share 3/8 of the bar, steps 3-4 the rest
        s.x.getStep(2).random = true;
        s.x.getStep(3).glide = 0.5f;
        s.x.getStep(3).glideCurve = XLFO::GlideCurve::Sine;
        s.x.setRandomState(99);
        s.plugin.setOutputNode(s.x);
        return s.plugin.render(16 * 96000, hostBlock, 120.0);
    };
    const std::vector<float> a = renderBars(512);
    EXPECT_TRUE(a == renderBars(1000));
    for (int bar = 0; bar < 16; ++bar) {
        const std::size_t start = static_cast<std::size_t>(bar) * 96000;
        // The downbeat: step 1 from its first sample to its last (3/16 bar), and so on.
        for (auto [at, v] :
             {std::pair{0u, 0.75f}, {17999u, 0.75f}, {18000u, -0.25f}, {35999u, -0.25f}, {66000u, -1.0f}})
            EXPECT_EQ(a[start + at], v) << bar << " " << at;
        EXPECT_EQ(a[start + 65999], a[start + 36000]) << bar; // the random step holds 5/16 bar
    }
    // An offset cycle glides to a new tempo (1 to 0.5 Hz); free again, the own 1 Hz from the next block.
    SyncedLfo s({1.0f, -1.0f}, SyncMode::Sync1Bar);
    s.c.getOffsetInput().getInternal().setTarget(0.0f, 2.0f);
    s.plugin.setOutputNode(s.x);
    s.plugin.render(4800, 480, 120.0);
    EXPECT_EQ(runLengths(s.plugin.render(110000, 480, 60.0))[1], 48000);
    s.c.syncMode = SyncMode::Free;
    EXPECT_EQ(runLengths(s.plugin.render(48000, 480, 60.0))[1], 24000);
}

TEST(XLFO, SynchronizedCycleRelocatesWithTheTransportUnlessOffset)
{
    // Triangle (global glide 1) at "1" = 0.5 Hz; the transport runs for one
    // second, then jumps back to the song's start.
    auto renderWithJump = [](float offset, bool midiTrigger) {
        SyncedLfo s({1.0f, -1.0f}, SyncMode::Sync1Bar);
        s.c.getOffsetInput().getInternal().setTarget(0.0f, offset);
        s.x.getGlideInput().getInternal().setTarget(0.0f, 1.0f);
        s.x.midiTrigger = midiTrigger;
        s.plugin.setOutputNode(s.x);
        std::vector<float> out(3 * 48000);
        for (int start = 0; start < 3 * 48000; start += 480) {
            const int played = start < 48000 ? start : start - 48000;
            s.plugin.setTransport(120.0, played / 24000.0);
            if (start == 4800)
                s.plugin.queueMidiEvent(123, 0x90, 64, 90);
            float* outputs[1] = {out.data() + start};
            s.plugin.process(nullptr, 0, outputs, 1, 480);
        }
        return out;
    };
    // Offset 1: locked to the bars, it jumps back with the transport.
    const std::vector<float> locked = renderWithJump(1.0f, false);
    EXPECT_NEAR(locked[47999], triangle(47999 / 96000.0), 1e-4);
    EXPECT_NEAR(locked[48000], 1.0, 1e-4);
    EXPECT_NEAR(locked[60000], triangle(12000 / 96000.0), 1e-4);
    // Offset 1.5: a rate of 0.75 Hz that runs on smoothly through the jump.
    const std::vector<float> offset = renderWithJump(1.5f, false);
    double steepest = 0.0;
    for (std::size_t k = 1; k < offset.size(); ++k)
        steepest = std::max(steepest, static_cast<double>(std::fabs(offset[k] - offset[k - 1])));
    EXPECT_LT(steepest, 1.01 * 4.0 * 0.75 / rateD);
    EXPECT_NEAR(offset[100000], triangle(100000 * 0.75 / rateD), 1e-3);
    // A note counts the bars from its own sample (4923); the next blocks'
    // transport keeps it there instead of pulling it back to the block.
    const std::vector<float> triggered = renderWithJump(1.0f, true);
    EXPECT_NEAR(triggered[4923], 1.0, 1e-4);
    EXPECT_NEAR(triggered[30000], triangle((30000 - 4923) / 96000.0), 1e-4);

    // Host blocks longer than a sub-block, with two notes in one of them:
    // each note's song position is its own sample's, however many
    // sub-blocks of the host block came before it.
    for (const int second : {1500, 3000}) {
        SyncedLfo s({1.0f, -1.0f}, SyncMode::Sync1Bar);
        s.x.getGlideInput().getInternal().setTarget(0.0f, 1.0f);
        s.x.midiTrigger = true;
        s.plugin.setOutputNode(s.x);
        const std::vector<float> out = s.plugin.render(60000, 4000, 120.0, [&](int start, int) {
            if (start == 8000) {
                s.plugin.queueMidiEvent(200, 0x90, 60, 100);
                s.plugin.queueMidiEvent(second, 0x90, 62, 100);
            }
        });
        const int note = 8000 + second;
        EXPECT_NEAR(out[static_cast<std::size_t>(note)], 1.0, 1e-4) << second;
        for (int k : {20000, 40000, 59999})
            EXPECT_NEAR(out[static_cast<std::size_t>(k)], triangle((k - note) / 96000.0), 1e-4)
                << second << " at " << k;
    }
}

TEST(XLFO, BadRatesKeepTheOutputInRange)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf, -3.0f, 1e30f}) {
        Lfo l({1.0f, -0.5f, 0.25f}, 1.0f);
        l.x.getStep(1).random = true;
        l.x.balance = 0.0001f;
        harness::SignalPlayer frequency(l.graph, {bad, 3.0f, bad, 7000.0f});
        harness::SignalPlayer glide(l.graph, {0.5f, bad});
        l.x.getFrequencyInput().connect(&frequency);
        l.x.getGlideInput().connect(&glide);
        for (float v : l.run(20000))
            ASSERT_TRUE(v >= -1.0f && v <= 1.0f) << bad << " gave " << v;
        EXPECT_TRUE(l.x.getPhase() >= 0.0 && l.x.getPhase() < 1.0) << l.x.getPhase();
        // A good rate again (2 Hz for the first block, then 1 Hz): a plain square.
        harness::SignalPlayer good(l.graph, std::vector<float>(1024, 2.0f));
        good.signal.push_back(1.0f);
        l.x.getFrequencyInput().connect(&good);
        l.x.getGlideInput().connect(nullptr);
        l.x.getStep(1).random = false;
        l.x.balance = 0.5f;
        l.x.noteTriggered(); // MIDI Trigger is off: no restart
        l.x.midiTrigger = true;
        l.x.noteTriggered();
        EXPECT_EQ(runLengths(l.run(48000)), (std::vector<int>{1024 + 13952, 16000, 16000, 1024}));
        l.x.getFrequencyInput().connect(nullptr); // the player, made later, goes first
    }
}
