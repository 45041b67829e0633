#include "modulation/XLFO.h"
#include "SourceHarness.h"
#include "modulation/NoteTriggers.h"
#include "modulation/XLFOFreqController.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr float rate = 48000.0f;
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
    std::vector<float> run(int n, int frame = 1024) { return harness::pullFrames(graph, x, n, frame); }
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

TEST(XLFO, TwoStepSquareFollowsTheBalanceAndFastSequencesShowTheirPeak)
{
    for (float balance : {0.5f, 0.25f}) {
        Lfo l({1.0f, -1.0f}, 1.0f);
        l.x.balance = balance;
        Indicator indicator;
        l.x.addListener(&indicator);
        const std::vector<float> out = l.run(2 * 48000, 1000);
        const int first = static_cast<int>(48000 * balance);
        EXPECT_EQ(runLengths(out), (std::vector<int>{first, 48000 - first, first, 48000 - first}))
            << "balance " << balance;
        EXPECT_EQ(out.front(), 1.0f);
        EXPECT_EQ(out.back(), -1.0f);
        // Halves of 250 ms and more blink the indicator; the second cycle
        // ends with the last sample.
        EXPECT_EQ(indicator.changes, (std::vector<int>{1, 0, 1, 0}));
        EXPECT_FALSE(l.x.isFast());
        EXPECT_FLOAT_EQ(l.x.getDisplayLevel(), 0.0f); // the last block started at -1
    }
    // 16 steps at 500 Hz: fast, showing the peak of the steps in use.
    std::vector<float> values(16, -0.5f);
    values[7] = 0.6f;
    Lfo fast(values, 500.0f);
    Indicator indicator;
    fast.x.addListener(&indicator);
    fast.run(4800);
    EXPECT_TRUE(fast.x.isFast());
    EXPECT_FLOAT_EQ(fast.x.getPeakValue(), 0.6f);
    EXPECT_FLOAT_EQ(fast.x.getDisplayLevel(), 0.8f);
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
    // Global glide -1 cancels a full step glide: a square again.
    Lfo cancelled({1.0f, -1.0f}, 1.0f, -1.0f);
    cancelled.x.getStep(0).glide = 1.0f;
    cancelled.x.getStep(1).glide = 1.0f;
    EXPECT_EQ(runLengths(cancelled.run(48000)), (std::vector<int>{24000, 24000}));
    // Fast steps glide a little even without glide: at 2000 Hz the last
    // 16 % of a 12-sample step, which only its last sample reaches.
    Lfo fast({1.0f, -1.0f}, 2000.0f);
    const std::vector<float> steps = fast.run(96);
    int gliding = 0;
    for (float v : steps)
        gliding += v != 1.0f && v != -1.0f;
    EXPECT_EQ(gliding, 8);
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
    {
        Lfo l({1.0f}, 1.0f);
        XLFOFreqController c(l.graph, l.x);
        c.syncMode = SyncMode::SyncQuarterBar;
        for (double unknown : {120.0, 0.0, -90.0, std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity()}) {
            c.setTempoAndPosition(60.0, 0.0);
            c.setTempoAndPosition(unknown, 0.0);
            EXPECT_FLOAT_EQ(c.getBaseTarget(), 2.0f) << unknown;
        }
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
        EXPECT_EQ(a[start], 0.75f) << bar;         // the downbeat: step 1 from its first sample
        EXPECT_EQ(a[start + 17999], 0.75f) << bar; // to its last (3/16 bar)
        EXPECT_EQ(a[start + 18000], -0.25f) << bar;
        EXPECT_EQ(a[start + 35999], -0.25f) << bar;
        EXPECT_EQ(a[start + 65999], a[start + 36000]) << bar; // the random step holds 5/16 bar
        EXPECT_EQ(a[start + 66000], -1.0f) << bar;
    }
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
        EXPECT_GE(l.x.getPhase(), 0.0);
        EXPECT_LT(l.x.getPhase(), 1.0);
        // A good rate again: a plain square.
        l.x.getFrequencyInput().connect(nullptr);
        l.x.getGlideInput().connect(nullptr);
        l.x.getStep(1).random = false;
        l.x.balance = 0.5f;
        l.x.noteTriggered(); // MIDI Trigger is off: no restart
        l.x.midiTrigger = true;
        l.x.noteTriggered();
        EXPECT_EQ(runLengths(l.run(48000)), (std::vector<int>{16000, 16000, 16000}));
    }
}
