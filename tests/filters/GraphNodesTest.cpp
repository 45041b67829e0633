// The graph nodes around the filters: the mixer, the router, the dry/wet
// mixer, the volume stage, the auto-mute's level follower, the filter node,
// the delay line, a channel path's routing and the four-lane filter slots.
#include "GraphSignals.h"
#include "RoutingChannel.h"

#include "filters/BiQuadFilter.h"
#include "filters/DelayLine.h"
#include "filters/EffectMixer.h"
#include "filters/FilterAnalyzer.h"
#include "filters/FilterCharacteristics.h"
#include "filters/FilterRouting.h"
#include "filters/GenericFilter.h"
#include "filters/Mixer.h"
#include "filters/MultiDesignFilter.h"
#include "filters/MultiDesignFilterParallelUnit.h"
#include "filters/Router.h"
#include "filters/VolumeFilter.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <utility>

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

struct MixRig {
    wave::Graph graph;
    Playback dry{graph, {1.0f, -2.0f, 0.5f, 4.0f, 3.0f}};
    Playback wet{graph, {0.25f, 1.0f, -1.0f, 2.0f, -3.0f}};
    Playback control{graph, {-1.0f, 0.0f, 1.0f, 3.0f, -0.5f}}; // 3 is held at 1; outlives the mixer's link
    Constant wetOnly{graph, 1.0f};
    EffectMixer mixer{graph, &dry, &wet};
};

} // namespace

TEST(Mixer, SumsOrTakesTheLargestWeightedMagnitude)
{
    const auto sum = mix(Mixer::sum, 0.5f, 2.0f);
    const auto largest = mix(Mixer::maximum, 0.5f, 2.0f);
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_FLOAT_EQ(sum[i], a[i] * 0.5f + b[i] * 2.0f) << i;
        EXPECT_FLOAT_EQ(largest[i], std::max(std::fabs(a[i]) * 0.5f, std::fabs(b[i]) * 2.0f)) << i;
    }
    // Out-of-range settings come back in range; the largest magnitude of no
    // input at all is silence.
    wave::Graph graph;
    Mixer none(graph, 1, Mixer::sum);
    none.operation = 5;
    none.inputCount = -2;
    EXPECT_EQ(std::pair(none.operation.get(), none.getInputCount()), std::pair(static_cast<int>(Mixer::maximum), 0));
    graph.nextFrame();
    EXPECT_EQ(&none.pull(8), &graph.getScratch());
}

TEST(Mixer, SumPassesBlocksThroughAndLeavesSilentInputsUnpulled)
{
    wave::Graph graph;
    Playback pa(graph, a);
    Playback pb(graph, b);
    Playback pc(graph, std::vector<float>(128, 0.25f));
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
    graph.advance(8);
    EXPECT_FLOAT_EQ(render(graph, mixer, 8, 8)[7], b[7] + 0.5f * 0.25f);
    EXPECT_FLOAT_EQ(render(graph, mixer, 64, 64)[63], 0.5f * 0.25f) << "settled on a mix, then a longer block";
}

TEST(Router, SelectionHoldsAtOnceWhenBuiltAndGlidesLater)
{
    wave::Graph graph;
    Constant first(graph, 1.0f);
    Constant second(graph, -1.0f);
    Playback third(graph, std::vector<float>(4096, 0.25f));
    Router router(graph, 3, 1);
    router.setInput(0, &first);
    router.setInput(1, &second);
    router.setInput(2, &third);

    // Built with input 1 selected: its block itself, the others not pulled.
    graph.nextFrame();
    EXPECT_EQ(&router.pull(64), &second.getBlock());
    EXPECT_EQ(first.calls + third.calls, 0);
    graph.advance(64);

    // Switching glides both gains over 20 ms (882 samples at 44.1 kHz):
    // the output moves from -1 to 1 through 0 at the half-way point.
    std::vector<float> out;
    out.reserve(2048);
    {
        testsupport::AllocationScope scope;
        router.selection = 0;
        renderInto(out, graph, router, 2048, 256);
        expectNoAllocations(scope);
    }
    EXPECT_NEAR(out[0], -1.0f, 1e-2f);
    EXPECT_NEAR(out[441], 0.0f, 1e-2f);
    for (std::size_t i = 1; i < 882; ++i)
        ASSERT_GT(out[i], out[i - 1]) << i;
    EXPECT_EQ(out[1000], 1.0f);
    graph.nextFrame();
    EXPECT_EQ(&router.pull(64), &first.getBlock()) << "settled again: handed through";
    graph.advance(64);

    // Behind a second switch, the settled chain is passed in one step; the
    // inner switch gliding away is still heard from the next block on.
    Router outer(graph, 1);
    outer.setInput(0, &router);
    std::vector<float> chained = render(graph, outer, 192, 64);
    router.selection = 1;
    renderInto(chained, graph, outer, 960, 64);
    EXPECT_EQ(chained[191], 1.0f);
    EXPECT_NEAR(chained[383], 1.0f - 2.0f * 192.0f / 882.0f, 1e-2f);

    // Out-of-range selections are clamped; a time of 0 switches at once.
    router.select(7, 0.0f);
    EXPECT_EQ(router.selection.get(), 2);
    graph.nextFrame();
    EXPECT_EQ(&router.pull(64), &third.getBlock());
    graph.advance(64);

    // Output not needed: nothing pulled.
    const int callsBefore = third.calls;
    graph.nextFrame();
    router.pull(64, wave::Producer::OutputNotNeeded);
    EXPECT_EQ(third.calls, callsBefore);
}

// The mix, held or modulated (9 stands for the control stream, whose 3 is
// held at 1), crossfades linearly; a missing side is silence.
TEST(EffectMixer, CrossfadesLinearlyFromDryToWet)
{
    for (const float m : {-1.0f, -0.5f, 0.0f, 0.6f, 1.0f, 9.0f}) {
        SCOPED_TRACE(m);
        MixRig s;
        s.mixer.mix.setDefault(m);
        if (m > 1.0f)
            s.mixer.mix.setSource(&s.control);
        const auto out = render(s.graph, s.mixer, 5);
        for (std::size_t i = 0; i < 5; ++i) {
            const float t = (std::min(m > 1.0f ? s.control.data[i] : m, 1.0f) + 1.0f) * 0.5f;
            EXPECT_FLOAT_EQ(out[i], (1.0f - t) * s.dry.data[i] + t * s.wet.data[i]);
        }
    }
    MixRig half;
    half.mixer.setWet(nullptr);
    half.mixer.mix.setDefault(0.0f);
    const auto dryHalf = render(half.graph, half.mixer, 5);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(dryHalf[i], 0.5f * half.dry.data[i]);
    // The ends hand one side through untouched. Output not needed: neither
    // side is pulled.
    MixRig s;
    s.mixer.mix.setDefault(-1.0f);
    s.graph.nextFrame();
    EXPECT_EQ(&s.mixer.pull(5), &s.dry.getBlock());
    s.graph.nextFrame();
    s.mixer.pull(5, wave::Producer::OutputNotNeeded);
    EXPECT_EQ(s.dry.calls + s.wet.calls, 2);

    // A mix at rest on wet only hands the wet side on: the mix is not read
    // again (one that merely holds 1 is, every frame); the dry side never is.
    for (const bool resting : {false, true}) {
        s.wetOnly.resting = resting;
        s.mixer.mix.setSource(&s.wetOnly);
        const int reads = s.wetOnly.calls + s.dry.calls;
        for (int frame = 0; frame < 3; ++frame) {
            s.graph.nextFrame();
            EXPECT_EQ(&s.mixer.pull(5), &s.wet.getBlock());
        }
        EXPECT_EQ(s.wetOnly.calls + s.dry.calls - reads, resting ? 1 : 3);
    }
}

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
    Constant one(graph, 1.0f), half(graph, 0.5f);
    MuteSwitch mute;
    one.resting = true;
    VolumeFilter volume(graph, &in);
    volume.gain.setSource(&one);

    // A gain at rest on 1 hands the input on, not even read again, until a
    // link (or the mute controller) changes.
    testsupport::AllocationScope scope;
    for (int frame = 0; frame < 3; ++frame) {
        graph.nextFrame();
        EXPECT_EQ(&volume.pull(128), &in.getBlock());
        graph.advance(128);
    }
    EXPECT_EQ(one.calls, 1);
    volume.gain.setSource(&half);
    graph.nextFrame();
    EXPECT_EQ(volume.pull(128)[127], 0.375f);
    graph.advance(128);

    volume.gain.setSource(&one); // at rest again when the mute controller comes
    graph.nextFrame();
    volume.pull(128);
    graph.advance(128);

    // Muted: exact zeros for the whole block while the source still runs.
    volume.setMuteController(&mute);
    mute.muted = true;
    const int calls = in.calls;
    graph.nextFrame();
    const wave::Block& silent = volume.pull(128);
    for (int i = 0; i < 128; ++i)
        ASSERT_EQ(silent[i], 0.0f);
    EXPECT_EQ(in.calls, calls + 1);
    graph.advance(128);

    mute.muted = false;
    volume.gain.setSource(nullptr);
    volume.gain.setDefault(0.0f);
    graph.nextFrame();
    EXPECT_EQ(&volume.pull(128), &graph.getScratch());
    graph.advance(128);

    // Output not needed: the block keeps what it held.
    std::fill(in.data.begin(), in.data.end(), 1.0f);
    graph.nextFrame();
    EXPECT_EQ(volume.pull(128, wave::Producer::OutputNotNeeded)[127], 0.375f);
    expectNoAllocations(scope);
}

TEST(FilterAnalyzer, FollowsWithItsTimeConstant)
{
    // From 0, a step to level x reaches x (1 - 1/e) after one time constant:
    // the one-pole follower in closed form, relative to the default threshold
    // of 0.005. Odd block sizes exercise the four-sample steps together with
    // their remainders. (Above the threshold the gain holds at 1.)
    wave::Graph graph(48000.0f);
    Constant in(graph, 0.002f);
    FilterAnalyzer analyzer(graph, &in);
    analyzer.timeConstant = 10.0f;
    const auto out = render(graph, analyzer, 4800, 97);
    const double a = 1000.0 / (48000.0 * 10.0);
    for (const int n : {1, 7, 480, 1001, 4799}) {
        const double s = 0.002 * (1.0 - std::pow(1.0 - a, n + 1));
        EXPECT_NEAR(out[static_cast<std::size_t>(n)], s / 0.005, 1e-5) << n;
    }

    // The four-sample steps are the stream's, not the block's: any block
    // size gives the same samples; of two channels, the louder one counts.
    std::vector<float> left(4800, -0.002f), right(4800, 0.001f);
    for (std::size_t i = 0; i < left.size(); i += 3)
        std::swap(left[i], right[i]);
    for (const int block : {1, 3, 1000}) {
        wave::Graph other(48000.0f);
        Playback l(other, left), r(other, right);
        FilterAnalyzer same(other, &l);
        same.setSecondChannel(&r);
        same.timeConstant = 10.0f;
        EXPECT_EQ(render(other, same, 4800, block), out) << block;
    }

    // Output not needed: the follower still moves on; reset returns it to 0.
    const float before = analyzer.getFollowerState();
    graph.nextFrame();
    analyzer.pull(480, wave::Producer::OutputNotNeeded);
    EXPECT_GT(analyzer.getFollowerState(), before);
    graph.reset();
    EXPECT_EQ(analyzer.getFollowerState(), 0.0f);
}

TEST(FilterAnalyzer, ANonFiniteLevelDoesNotDisableTheDetector)
{
    // A NaN or an infinity in the input level (a broken plug-in before ours)
    // must not stick in the follower: once the input is silent, the gain
    // falls towards 0 again and auto-mute works.
    for (const float bad :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(bad);
        wave::Graph graph;
        std::vector<float> level(44100, 0.0f);
        std::fill_n(level.begin() + 1000, 50, bad);
        Playback in(graph, level);
        FilterAnalyzer analyzer(graph, &in);
        const auto out = render(graph, analyzer, 44100, 256);
        EXPECT_LT(out.back(), 1e-3f);
    }
}

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
        Rig rig; // a moving amount (a steady one between 0 and 1 is blended alike)
        Playback amount(rig.graph, sine(length, 3.0f, 1.0f));
        rig.filter.amount.setSource(&amount);
        const auto out = render(rig.graph, rig.filter, length);
        const auto wet = rig.filtered();
        for (std::size_t i = 0; i < out.size(); ++i)
            ASSERT_NEAR(out[i], rig.input.data[i] + (wet[i] - rig.input.data[i]) * amount.data[i], 1e-6f) << i;
        rig.filter.amount.setSource(nullptr); // amount goes before the rig
    }
}

// Amount 0 bypasses, muted is silence; neither runs the unit, nor does an
// output nobody needs.
TEST(GenericFilter, AmountZeroMutedOrUnneededRunsNothing)
{
    Rig rig;
    MuteSwitch mute;
    rig.filter.setMuteController(&mute);
    render(rig.graph, rig.filter, 512);
    const BiQuadFilter::Section before = rig.unit.getSection(0);
    testsupport::AllocationScope scope;
    for (int frame = 0; frame < 6; ++frame) {
        rig.filter.amount.setDefault(frame < 4 ? 0.0f : 1.0f);
        mute.muted = frame == 4;
        rig.graph.nextFrame();
        if (frame < 5)
            ASSERT_EQ(&rig.filter.pull(256), frame == 4 ? &rig.graph.getScratch() : &rig.input.getBlock());
        else
            rig.filter.pull(256, wave::Producer::OutputNotNeeded);
        rig.graph.advance(256);
    }
    expectNoAllocations(scope);
    EXPECT_EQ(rig.unit.getSection(0).low, before.low) << "the states stand still";
    EXPECT_EQ(rig.unit.getSection(0).band, before.band);
}

namespace {

constexpr int rate = 44100;

// A node that counts the times it runs.
template <class Node> struct Counted : Node {
    using Node::Node;
    int process(wave::Block& target, int n, int flags) override { return ++calls, Node::process(target, n, flags); }
    int calls = 0;
};

std::vector<float> ramp(int count)
{
    std::vector<float> r(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        r[static_cast<std::size_t>(i)] = static_cast<float>(i);
    return r;
}

} // namespace

// Without delay the line hands its input block on, and while the delay rests
// at 0 it is not even run. Leaving 0 (for 200 ms, held at the longest: 50 ms
// is 2205 samples) it plays, in either read mode, exactly what a line run at
// every frame plays; a line far longer than the effect's, which would read
// back past where its ring went unwritten, keeps writing it, and so does a
// line whose delay is 0 without resting there (it may move at any block).
TEST(DelayLine, WithoutDelayHandsTheInputBlockOnAndHoldsLongDelaysAtTheLongest)
{
    const auto signal = ramp(rate * 2);
    for (const float longest : {50.0f, 200.0f}) {
        for (const int mode : {+DelayLine::interpolating, +DelayLine::crossfading, -1}) {
            const bool resting = mode >= 0;
            std::vector<float> out[2];
            for (int everyFrame = 0; everyFrame < 2; ++everyFrame) {
                wave::Graph graph;
                graph.setSampleRate(static_cast<float>(rate));
                Playback in(graph, signal);
                Constant zero(graph, 0.0f);
                zero.resting = resting;
                Counted<DelayLine> line(graph, longest, &in);
                line.readMode = resting ? mode : DelayLine::crossfading;
                line.delay.setSource(&zero);
                out[everyFrame].reserve(signal.size());
                testsupport::AllocationScope scope;
                for (int frame = 0; frame < rate * 2 / 512; ++frame) {
                    zero.value = frame < 8 ? 0.0f : 200.0f; // a new target ends rests; a modulation need not
                    if (everyFrame || (frame == 8 && resting))
                        graph.endRests();
                    graph.nextFrame();
                    const wave::Block& block = line.pull(512);
                    ASSERT_TRUE(frame >= 8 || &block == &in.getBlock());
                    out[everyFrame].insert(out[everyFrame].end(), block.data(), block.data() + 512);
                    graph.advance(512);
                }
                expectNoAllocations(scope);
                EXPECT_EQ(line.calls, rate * 2 / 512 - (everyFrame || !resting || longest > 50.0f ? 0 : 7));
            }
            EXPECT_EQ(out[0], out[1]) << longest << " ms, mode " << mode;
            for (std::size_t i = out[0].size() - 1000; mode != DelayLine::interpolating && i < out[0].size(); ++i)
                ASSERT_EQ(out[0][i], signal[i - (longest > 50.0f ? 8820 : 2205)]) << i;
        }
    }
}

TEST(DelayLine, CrossfadesToANewDelayWithoutADiscontinuity)
{
    wave::Graph graph;
    const auto signal = sine(rate * 3, 300.0f, 0.5f);
    Playback in(graph, signal);
    DelayLine line(graph, 50.0f, &in);
    std::vector<float> out;
    out.reserve(signal.size());

    testsupport::AllocationScope scope;
    renderInto(out, graph, line, rate / 2, 300);
    line.delay.setDefault(12.0f);
    renderInto(out, graph, line, rate * 3 / 2, 300);
    line.delay.setDefault(3.0f);
    renderInto(out, graph, line, rate, 300);
    expectNoAllocations(scope);

    // No step larger than the sine itself makes, plus what the fade adds: its
    // gain moves by at most 1.8 ln(10) / 3748 per sample, times the largest
    // difference between the two heads (twice the amplitude). A click would
    // be a step of the order of the amplitude.
    const float sineStep = largestStep(signal, 0, signal.size());
    const float fadeSlope = 1.8f * std::log(10.0f) / 3748.0f;
    EXPECT_LE(largestStep(out, 0, out.size()), sineStep + fadeSlope * 2.0f * 0.5f);
    // Settled, each delay is a whole number of samples: 12 ms is 529, 3 ms 132.
    for (std::size_t i = rate * 2 - 1000; i < rate * 2; ++i)
        ASSERT_EQ(out[i], signal[i - 529]) << i;
    for (std::size_t i = out.size() - 1000; i < out.size(); ++i)
        ASSERT_EQ(out[i], signal[i - 132]) << i;
}

TEST(DelayLine, FadesFollowTheEightyFiveMillisecondLaw)
{
    // On a ramp x[i] = i the output tells the delay it reads: i - out[i] =
    // Da + (1 - g)(Do - Da) while fading from the active head Da to the new
    // one Do, so each fade exposes its gain curve g.
    wave::Graph graph;
    Playback in(graph, ramp(rate * 2));
    DelayLine line(graph, 50.0f, &in);
    line.delay.setDefault(25.0f);
    const auto out = render(graph, line, rate * 2, 441);
    const int fadeLength = static_cast<int>(44.1 * 85.0); // 3748

    int fadesChecked = 0;
    for (int start = fadeLength; start + fadeLength < rate * 2; start += fadeLength) {
        const double from = start - static_cast<double>(out[static_cast<std::size_t>(start)]);
        const double to =
            start + fadeLength - static_cast<double>(out[static_cast<std::size_t>(start + fadeLength)]);
        if (to - from < 20.0)
            continue;
        ++fadesChecked;
        for (int k = 0; k < fadeLength; k += 97) {
            const std::size_t i = static_cast<std::size_t>(start + k);
            const double g =
                1.0 - ((static_cast<double>(i) - static_cast<double>(out[i])) - from) / (to - from);
            const double t = 1.0 - static_cast<double>(k) / fadeLength;
            const double expected =
                t > 0.1 ? std::pow(10.0, -1.8 * (1.0 - t)) : std::exp(-3.73018784447434) * 10 * t;
            ASSERT_NEAR(g, expected, 2e-3) << "fade at " << start << ", k = " << k;
        }
    }
    EXPECT_GE(fadesChecked, 3);
}

TEST(DelayLine, InterpolatingReadFollowsFractionalDelays)
{
    wave::Graph graph;
    Playback in(graph, ramp(rate * 2));
    DelayLine line(graph, 50.0f, &in);
    line.readMode = DelayLine::interpolating;
    line.delay.setDefault(2.5f); // 110.25 samples
    const auto out = render(graph, line, rate * 2, 500);
    for (std::size_t i = out.size() - 2000; i < out.size(); ++i)
        ASSERT_NEAR(out[i], static_cast<float>(i) - 110.25f, 0.02f) << i;
    // The glide of the smoother is critically damped: no overshoot.
    for (std::size_t i = 1; i < out.size(); ++i)
        ASSERT_LE(static_cast<float>(i) - out[i], 110.25f + 0.02f) << i;
}

// Settings restored before playing (or after a bypass) hold from the first
// sample instead of gliding from the delay the line had; a line whose output
// nobody reads keeps writing, and a reset empties it.
TEST(DelayLine, AResetEmptiesTheLineAndEndsTheGlideAndUnreadFramesStillWrite)
{
    wave::Graph graph;
    const auto signal = ramp(rate);
    Playback in(graph, signal);
    DelayLine line(graph, 50.0f, &in);
    line.delay.setDefault(5.0f); // 220 samples
    graph.reset();
    auto out = render(graph, line, rate / 2, 256);
    for (int frame = 0; frame < 4; ++frame) {
        graph.nextFrame();
        line.pull(256, wave::Producer::OutputNotNeeded);
        graph.advance(256);
    }
    out.resize(out.size() + 1024); // the skipped frames
    renderInto(out, graph, line, 1024, 256);
    for (std::size_t i = 0; i < out.size(); ++i)
        if (i < rate / 2 || i >= out.size() - 1024) {
            ASSERT_EQ(out[i], i < 220 ? 0.0f : signal[i - 220]) << i;
        }

    line.delay.setDefault(12.0f); // 529 samples at 44.1 kHz
    graph.reset();
    const auto afterReset = render(graph, line, 1024, 256);
    for (std::size_t i = 0; i < afterReset.size(); ++i)
        ASSERT_EQ(afterReset[i], i < 529 ? 0.0f : signal[out.size() + i - 529]) << i;
}

using namespace routingtest;

namespace {

// The arrangement evaluated directly from its masks, for an input of 1.
// A bypassed filter is a duplicate when it has a parallel sibling (same
// sources) or is fed by exactly one filter that is a bypassed duplicate;
// a duplicate is left out of the first mix that takes it together with
// other sources, unless all of those are left out already.
struct Reference {
    Reference(int index, int count, int enabled) : masks(FilterRouting::arrangements()[static_cast<std::size_t>(index)])
    {
        for (std::size_t k = 0; k < 4; ++k)
            active[k] = ((enabled >> k) & 1) && static_cast<int>(k) < count;
    }
    FilterRouting::Masks masks;
    std::array<bool, 4> active;

    bool duplicate(int f) const
    {
        if (active[static_cast<std::size_t>(f)])
            return false;
        for (int g = 0; g < 4; ++g) {
            if (g != f && masks[static_cast<std::size_t>(g)] == masks[static_cast<std::size_t>(f)])
                return true;
        }
        for (int g = 0; g < 4; ++g) {
            if (masks[static_cast<std::size_t>(f)] == bit(g))
                return duplicate(g);
        }
        return false;
    }

    int skipped() const
    {
        int skip = 0;
        for (int f = 0; f < 4; ++f) {
            int consumer = masks[4];
            for (int later = 3; later > f; --later) {
                if (masks[static_cast<std::size_t>(later)] & bit(f))
                    consumer = masks[static_cast<std::size_t>(later)];
            }
            if (!(consumer & bit(f)))
                continue;
            const int others = consumer & ~bit(f);
            if (others && duplicate(f) && (others & ~skip))
                skip |= bit(f);
        }
        return skip;
    }

    double mean(int mask, const std::array<double, 5>& signals, int skip) const
    {
        double sum = 0.0;
        int count = 0;
        for (int i = 0; i < 5; ++i) {
            if ((mask >> i) & 1 && !((skip >> i) & 1)) {
                sum += signals[static_cast<std::size_t>(i)];
                ++count;
            }
        }
        return sum / count;
    }

    double output() const
    {
        const int skip = skipped();
        std::array<double, 5> signals = {1.0, 0.0, 0.0, 0.0, 0.0};
        for (int f = 0; f < 4; ++f) {
            const double in = mean(masks[static_cast<std::size_t>(f)], signals, skip);
            signals[static_cast<std::size_t>(f) + 1] =
                active[static_cast<std::size_t>(f)]
                    ? static_cast<double>(gains[static_cast<std::size_t>(f)]) * in
                    : in;
        }
        return mean(masks[4], signals, skip);
    }
};

} // namespace

TEST(FilterRouting, EveryArrangementMatchesItsMasks)
{
    for (int index = 0; index < FilterRouting::configurationCount; ++index) {
        for (int count = 0; count <= 4; ++count) {
            for (int enabled = 0; enabled < 16; ++enabled) {
                SCOPED_TRACE(testing::Message() << "index " << index << ", count " << count << ", enabled " << enabled);
                Channel channel;
                channel.setAtOnce(index, count, enabled);
                const Reference reference(index, count, enabled);

                ASSERT_EQ(channel.routing.getSkipMask(), reference.skipped());
                for (int m = 0; m < 4; ++m) {
                    float sum = 0.0f;
                    for (int i = 0; i < m + 2; ++i)
                        sum += channel.routing.getMixer(m).getGain(i);
                    ASSERT_NEAR(sum, 1.0f, 1e-6f) << "mixer " << m;
                }
                ASSERT_NEAR(channel.settledOutput(), reference.output(), 1e-5);
            }
        }
    }
}

TEST(FilterRouting, ChangesWhileRunningGlideToTheSameResults)
{
    Channel channel(true); // with delay lines (at 0 ms) after the filters
    std::vector<float> out;
    out.reserve(40 * 1024);
    int combination = 0;
    for (int index = 0; index < FilterRouting::configurationCount; ++index) {
        for (int count = 1; count <= 4; ++count) {
            const int enabled = (combination++ * 7) % 16;
            SCOPED_TRACE(testing::Message() << "index " << index << ", count " << count << ", enabled " << enabled);
            channel.set(index, count, enabled);
            const Reference reference(index, count, enabled);
            out.clear();
            testsupport::AllocationScope scope;
            renderInto(out, channel.graph, channel.routing, 10 * 1024, 1024); // 232 ms: every glide is over
            expectNoAllocations(scope);
            ASSERT_NEAR(out.back(), reference.output(), 1e-5);
        }
    }
}

// A few arrangements worked out by hand, which keeps the reference honest:
// two active in parallel (3 and 4 left out, the mean of 1 and 2); three
// active, (1 | 2) > (3 | 4) (4 duplicates its sibling 3); three active,
// (1 > 2) | (3 > 4) (4 passes 3 on and stays in the mix); serial with one
// active (1 alone; a bypassed filter is not computed); (1 | 2) > (3 | 4)
// with 3 and 4 off (3 left out, 4 passes the mean on).
TEST(FilterRouting, ExamplesOfTheSkipRule)
{
    const float g1 = gains[0], g2 = gains[1], g3 = gains[2];
    struct Example {
        int index, count, enabled, skip;
        float output;
    };
    for (const Example& e : {Example{1, 2, 15, bit(2) | bit(3), (g1 + g2) / 2},
                             {3, 3, 15, bit(3), g3 * (g1 + g2) / 2}, {2, 3, 15, 0, (g1 * g2 + g3) / 2},
                             {0, 1, 15, 0, g1}, {3, 4, 3, bit(2), (g1 + g2) / 2}}) {
        SCOPED_TRACE(testing::Message() << "index " << e.index << ", count " << e.count);
        Channel channel;
        channel.setAtOnce(e.index, e.count, e.enabled);
        EXPECT_EQ(channel.routing.getSkipMask(), e.skip);
        EXPECT_FLOAT_EQ(channel.settledOutput(2048), e.output);
        EXPECT_EQ(channel.filters[1]->calls == 0, e.count == 1);
    }
}

TEST(FilterRouting, HandsTheInputThroughAndFollowsANewInput)
{
    Channel channel;
    channel.setAtOnce(0, 0, 15);
    channel.graph.nextFrame();
    EXPECT_EQ(&channel.routing.pull(64), &channel.input.getBlock());
    channel.graph.advance(64);

    channel.routing.setSource(&channel.other);
    channel.set(1, 4, 15);
    EXPECT_EQ(channel.filters[0]->getSource(), &channel.input) << "rewired at the next block";
    EXPECT_NEAR(channel.settledOutput(20000), -0.5f * (2 + 3 + 5 + 7) / 4.0f, 1e-5f);
    EXPECT_EQ(channel.filters[0]->getSource(), &channel.other);
    EXPECT_EQ(channel.routing.getMixer(2).getInput(0), &channel.other);

    // Output not needed: nothing behind the routing runs.
    const int calls = channel.filters[0]->calls;
    channel.graph.nextFrame();
    channel.routing.pull(64, wave::Producer::OutputNotNeeded);
    EXPECT_EQ(channel.filters[0]->calls, calls);
}

namespace {

// One filter slot with the same filter in two channels.
struct Pair {
    explicit Pair(std::vector<float> left, std::vector<float> right)
        : inLeft(graph, std::move(left)), inRight(graph, std::move(right))
    {
        for (auto* f : {&a, &b}) {
            f->cutoff.setDefault(std::log2(900.0f));
            f->peak.setDefault(0.6f);
        }
    }

    wave::Graph graph{static_cast<float>(rate)};
    Playback inLeft;
    Playback inRight;
    MultiDesignFilter::ParallelUnit slot{graph, FilterCharacteristics::shared()};
    MultiDesignFilter a{graph, slot, &inLeft};
    MultiDesignFilter b{graph, slot, &inRight};
};

// The characteristic's filter run on its own, one lane.
std::vector<float> alone(const std::vector<float>& x, int characteristic)
{
    DesignFilter design(FilterCharacteristics::shared()[characteristic], 1024, static_cast<float>(rate));
    const std::vector<float> c(x.size(), std::log2(900.0f)), p(x.size(), 0.6f);
    std::vector<float> out(x.size());
    for (std::size_t at = 0; at < x.size(); at += 256)
        design.process(x.data() + at, out.data() + at, c.data(), p.data(), nullptr, 256, true);
    return out;
}

} // namespace

// The filters of two channels in one slot run in one four-lane pass: the
// pass that makes one's block makes the other's as well, and each lane is
// the filter of its channel alone. Muting one channel (every third block)
// leaves the other exactly as it was.
TEST(MultiDesignFilter, TwoChannelsShareOneFourLanePass)
{
    const auto left = sine(4096, 220.0f, 0.5f);
    const auto right = sine(4096, 1500.0f, 0.3f);
    for (const bool muting : {false, true}) {
        SCOPED_TRACE(muting ? "right muted every third block" : "both playing");
        Pair pair(left, right);
        pair.a.characteristic = 3;
        pair.b.characteristic = 3;
        EXPECT_EQ(pair.slot.getOwnerCount(), 2);
        MuteSwitch mute;
        pair.b.setMuteController(&mute);
        std::vector<float> outA, outB;
        for (int at = 0; at < 4096; at += 256) {
            mute.muted = muting && (at / 256) % 3 == 1;
            pair.graph.nextFrame();
            if (muting) {
                // B first: its pull runs the pass, muted or not.
                const wave::Block& blockB = pair.b.pull(256);
                if (mute.muted) {
                    EXPECT_EQ(&blockB, &pair.graph.getScratch());
                }
            }
            const wave::Block& blockA = pair.a.pull(256);
            if (!muting) {
                // The pass that made A's block has made B's as well.
                const std::vector<float> early(pair.b.getBlock().data(), pair.b.getBlock().data() + 256);
                EXPECT_TRUE(std::equal(early.begin(), early.end(), pair.b.pull(256).data()));
                outB.insert(outB.end(), pair.b.getLastBlock().data(), pair.b.getLastBlock().data() + 256);
            }
            outA.insert(outA.end(), blockA.data(), blockA.data() + 256);
            pair.graph.advance(256);
        }
        EXPECT_EQ(outA, alone(left, 3));
        if (!muting) {
            EXPECT_EQ(outB, alone(right, 3));
        }
    }
}

// Filters of two slots fed by one path (a parallel routing) run as one
// pass, their output stages as the two lanes of one run: each is still
// exactly its filter alone.
TEST(MultiDesignFilter, TwoSlotsShareOnePassAndEachStaysItsFilterAlone)
{
    const auto x = sine(4096, 330.0f, 0.5f);
    wave::Graph graph{static_cast<float>(rate)};
    Playback in(graph, x);
    Constant share(graph, 1.0f); // b's amount
    VolumeFilter path(graph, &in);
    Mixer fade(graph, 1); // b reads it later on, so it must outlive b
    fade.setInput(0, &in);
    MultiDesignFilter::ParallelUnit slotA{graph, FilterCharacteristics::shared()};
    MultiDesignFilter::ParallelUnit slotB{graph, FilterCharacteristics::shared()};
    MultiDesignFilter a{graph, slotA, &in}, b{graph, slotB, &in};
    MultiDesignFilter::ParallelUnit* const units[] = {&slotA, &slotB};
    const wave::Filter* const paths[] = {&path};
    auto set = [&](MultiDesignFilter& f, MultiDesignFilter::ParallelUnit& slot, int characteristic) {
        slot.sharePassesWith(units, paths);
        f.characteristic = characteristic;
        f.cutoff.setDefault(std::log2(900.0f));
        f.peak.setDefault(0.6f);
    };
    set(a, slotA, 3);
    set(b, slotB, 5);
    b.amount.setSource(&share);
    std::vector<float> outA, outB;
    for (int at = 0; at < 4096; at += 256) {
        graph.nextFrame();
        const wave::Block& blockA = a.pull(256);
        outA.insert(outA.end(), blockA.data(), blockA.data() + 256);
        const wave::Block& blockB = b.pull(256);
        outB.insert(outB.end(), blockB.data(), blockB.data() + 256);
        graph.advance(256);
    }
    EXPECT_EQ(outA, alone(x, 3));
    EXPECT_EQ(outB, alone(x, 5));

    // A slot seen idle is not asked again until its filter takes a share:
    // then it joins the pass from the next block. Fed through a mixer that
    // glides (frames 4-5), it joins once the mixer settles on the path's
    // input, though nothing ends the graph's rests then.
    for (int frame = 0; frame < 8; ++frame) {
        share.value = frame < 2 ? 0.0f : 1.0f;
        if (frame == 4) {
            b.setSource(&fade);
            fade.setGain(0, 0.0f, 0.0f);
            fade.setGain(0, 1.0f, 5.0f);
        }
        graph.nextFrame();
        const std::vector<float> before(b.getBlock().data(), b.getBlock().data() + 256);
        a.pull(256);
        EXPECT_EQ(!std::equal(before.begin(), before.end(), b.getBlock().data()), frame == 3 || frame > 5) << frame;
        b.pull(256);
        graph.advance(256);
    }
}

TEST(MultiDesignFilter, SwitchingToCleanAndBackKeepsBothStates)
{
    const auto left = sine(8192, 330.0f, 0.5f);
    Pair pair(left, left);
    const DesignFilter& design = pair.slot.getDesignFilter();

    render(pair.graph, pair.a, 1024);
    const float band = design.bandState(0, 0);
    pair.a.characteristic = pair.a.getCleanIndex();
    EXPECT_EQ(pair.slot.getOwnerCount(), 1) << "left the shared unit";
    render(pair.graph, pair.a, 1024);
    const BiQuadFilter::Section section = pair.a.getCleanUnit().getSection(0);
    EXPECT_EQ(design.bandState(0, 0), band) << "the table lane waited";

    pair.a.characteristic = 5;
    EXPECT_EQ(pair.slot.getOwnerCount(), 2) << "back on its own lane";
    EXPECT_EQ(pair.slot.getOwner(0), &pair.a);
    EXPECT_EQ(&pair.slot.getDesignFilter().characteristic(), &FilterCharacteristics::shared()[5]);
    render(pair.graph, pair.a, 1024);
    EXPECT_NE(design.bandState(0, 0), band);
    EXPECT_EQ(pair.a.getCleanUnit().getSection(0).low, section.low) << "the clean unit waited";

    // A slot serves at most four filters.
    MultiDesignFilter c(pair.graph, pair.slot), d(pair.graph, pair.slot);
    EXPECT_THROW(MultiDesignFilter(pair.graph, pair.slot), std::length_error);

    pair.a.characteristic = 99; // clamped to the last entry
    EXPECT_EQ(pair.a.characteristic.get(), 10);

    // A reset while on the clean unit clears the shared lane it left as well.
    ASSERT_NE(design.bandState(0, 0), 0.0f);
    ASSERT_NE(pair.a.getCleanUnit().getSection(0).low, 0.0f);
    pair.a.reset();
    for (int stage = 0; stage < StateVariableFilter::maxStages; ++stage)
        EXPECT_TRUE(design.bandState(stage, 0) == 0.0f && design.lowState(stage, 0) == 0.0f) << stage;
    for (int s = 0; s < BiQuadFilter::maxSections; ++s)
        EXPECT_TRUE(pair.a.getCleanUnit().getSection(s).band == 0.0f &&
                    pair.a.getCleanUnit().getSection(s).low == 0.0f) << s;
}

namespace {

// One filter on a sine, with a change applied after `at` samples.
template <class Change>
std::vector<float> switched(int characteristic, int response, int slope, int at, Change change)
{
    Pair pair(sine(rate / 2, 200.0f, 0.005f), {});
    pair.a.characteristic = characteristic;
    pair.a.response = static_cast<GenericFilter::Response>(response);
    pair.a.slope = static_cast<GenericFilter::Slope>(slope);
    pair.a.cutoff.setDefault(std::log2(15000.0f));
    pair.a.peak.setDefault(0.0f);
    std::vector<float> out = render(pair.graph, pair.a, at, 500);
    change(pair.a);
    renderInto(out, pair.graph, pair.a, rate / 2 - at, 500);
    return out;
}

void nothing(MultiDesignFilter&) {}

} // namespace

TEST(MultiDesignFilter, SwitchingWhileRunningKeepsTheStates)
{
    // A quiet sine far below the cut-off passes every setting nearly
    // unchanged, so a switch may only move it by what the new setting itself
    // implies; a state reset would jump by the whole amplitude.
    const auto signal = sine(rate / 2, 200.0f, 0.005f);
    const float sineStep = largestStep(signal, 0, signal.size());

    // Characteristics with an input gain of 1 drive their states alike, so
    // switching among them keeps every step within the sine's own.
    {
        Pair pair(signal, {});
        pair.a.cutoff.setDefault(std::log2(15000.0f));
        std::vector<float> out;
        const int choices[] = {1, 2, 4, 5, 6, 7, 8, 9};
        for (int k = 0; k < 16; ++k) {
            pair.a.characteristic = choices[k % 8];
            renderInto(out, pair.graph, pair.a, 1200, 400);
        }
        // (From sample 64 on: the sine's abrupt start rings briefly.)
        EXPECT_LE(largestStep(out, 64, out.size()), sineStep * 1.1f);
    }
    const int clean = 10;
    // The state-variable filter reads all responses from the same states: after
    // a switch it continues as a filter that had the new response all along,
    // but for what its output stage remembers of the samples before: its
    // band limiting forgets within a few dozen samples, its DC blocker
    // holds the old signal's last step (fading over 30 ms), a hundredth of
    // the sine here, where a reset state would be off by all of it. The same
    // holds for fewer stages or sections, whose first ones run the same way
    // at every slope; the clean filter has no output stage and is exact, and
    // its low- and high-pass share their poles, so a switch between them
    // goes on as if the new response had been there all along.
    const int at = 5000;
    const int raw = 2;
    auto near = [at](const std::vector<float>& a, const std::vector<float>& b, int settle = 100) {
        double worst = 0.0;
        for (std::size_t i = static_cast<std::size_t>(at + settle); i < a.size(); ++i)
            worst = std::max(worst, std::fabs(static_cast<double>(a[i]) - static_cast<double>(b[i])));
        return worst;
    };
    EXPECT_LT(near(switched(raw, GenericFilter::lowPass, 1, at, [](auto& f) { f.response = GenericFilter::bandPass; }),
                   switched(raw, GenericFilter::bandPass, 1, at, nothing)),
              1e-4);
    EXPECT_LT(near(switched(raw, GenericFilter::highPass, 3, at, [](auto& f) { f.slope = GenericFilter::slope12; }),
                   switched(raw, GenericFilter::highPass, 1, at, nothing)),
              1e-4);
    EXPECT_LT(near(switched(clean, GenericFilter::lowPass, 1, at, [](auto& f) { f.response = GenericFilter::highPass; }),
                   switched(clean, GenericFilter::highPass, 1, at, nothing), 0),
              1e-6);
    auto from = [at](const std::vector<float>& x) { return std::vector<float>(x.begin() + at, x.end()); };
    EXPECT_EQ(from(switched(clean, GenericFilter::lowPass, 3, at,
                            [](auto& f) { f.slope = GenericFilter::slope12; })),
              from(switched(clean, GenericFilter::lowPass, 1, at, nothing)));
}
