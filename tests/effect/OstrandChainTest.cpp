// The processing chain end to end, each case against something worked out
// independently: a gain in closed form, the unprocessed input, the same
// filtering taken another way round; how the routing parameters reach each
// channel path, the usable routing positions, a modulated cut-off measured
// in the audio; the whole effect on the audio thread allocating nothing
// with everything in use (recovery from input that is not finite: the
// torture battery); and where people push a saturating filter, measured
// independently of the filter's code: the sign at a sine's peaks, the
// largest sample, the mean, the spectrum; the parameter order and displays,
// the source sections' settings, filter linking, the note hooks and the
// source levels.
#include "EffectHarness.h"
#include "AllocationCounter.h"
#include "Spectrum.h"

#include "effect/OstrandChannel.h"
#include "filters/MidSideConverter.h"
#include "framework/MidiControllerMap.h"
#include "modulation/EnvelopeGenerator.h"
#include "modulation/MidiModSource.h"
#include "modulation/ModMatrixParamController.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "modulation/SourceDisplayCurves.h"
#include "modulation/Trigger.h"
#include "modulation/XLFO.h"
#include "modulation/XLFOFreqController.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

using namespace effecttest;

constexpr int rate = 48000;

TEST(OstrandChain, WithoutFiltersTheInputGainIsAPlainGainFromTheFirstSample)
{
    const double gain = std::pow(10.0, 6.0 / 20.0);
    const Signal left = noise(20000, 7);
    const Signal right = sine(20000, 997.0);
    for (int channels : {1, 2}) {
        auto p = effect(channels, {"Input Gain=6 dB", "Filter 1 Enabled=Disabled"});
        const auto out = channels == 2 ? render(*p, {left, right}, 333) : render(*p, {left}, 333);
        for (int c = 0; c < channels; ++c) {
            const Signal& in = c == 0 ? left : right;
            for (std::size_t i = 0; i < in.size(); ++i)
                ASSERT_NEAR(out[static_cast<std::size_t>(c)][i], gain * static_cast<double>(in[i]),
                            1e-6 * std::fabs(static_cast<double>(in[i])) + 1e-9)
                    << channels << " channels, channel " << c << ", sample " << i;
        }
    }
}

TEST(OstrandChain, MixZeroAndAuditionInputGiveTheInput)
{
    const Signal left = noise(rate, 11);
    const Signal right = noise(rate, 12);
    // A resonant band-pass that changes the signal a lot.
    const std::vector<std::string> coloured = {"Filter 1 Freq=800 Hz", "Filter 1 Peak=0.8",
                                               "Filter 1 Response=BP", "Input Gain=-3 dB"};
    {
        auto settings = coloured;
        settings.push_back("Mix=0 %");
        auto p = effect(2, settings);
        // Beyond +80 dBFS is held there; what is not finite is silence. The
        // input comes as late as the filter's output would.
        Signal wild = left, held = left;
        wild[100] = 2e4f, held[100] = 1e4f, wild[30000] = -INFINITY, held[30000] = 0.0f;
        const auto out = render(*p, {wild, right});
        const long late = p->getLatency();
        EXPECT_TRUE(late == 3 && std::equal(held.begin(), held.end() - late, out[0].begin() + late) &&
                    std::equal(right.begin(), right.end() - late, out[1].begin() + late));
    }

    // Audition "Input" switched while playing: a 20 ms crossfade, then the
    // unprocessed input whatever the mix says. A twin that keeps listening
    // to the output gives what is faded out.
    auto p = effect(2, coloured);
    auto twin = effect(2, coloured);
    set(*p, "Mix=40 %");
    set(*twin, "Mix=40 %");
    const std::size_t half = rate / 2;
    const Signal firstLeft(left.begin(), left.begin() + static_cast<long>(half));
    const Signal firstRight(right.begin(), right.begin() + static_cast<long>(half));
    const auto before = render(*p, {firstLeft, firstRight});
    render(*twin, {firstLeft, firstRight});
    EXPECT_GT(maxDifference(before[0], firstLeft, half / 2), 0.05) << "the effect is audible";
    set(*p, "Audition Signal=Input");
    const Signal secondLeft(left.begin() + static_cast<long>(half), left.end());
    const Signal secondRight(right.begin() + static_cast<long>(half), right.end());
    const auto after = render(*p, {secondLeft, secondRight});
    const auto output = render(*twin, {secondLeft, secondRight});
    const std::size_t fade = rate / 50, late = half - static_cast<std::size_t>(p->getLatency()); // 20 ms
    for (std::size_t i = fade; i < secondLeft.size(); ++i) {
        ASSERT_EQ(after[0][i], left[late + i]) << i;
        ASSERT_EQ(after[1][i], right[late + i]) << i;
    }
    // Within the fade: a straight line from the output to the input, give
    // or take one sample's step.
    for (std::size_t i = 0; i < fade; ++i) {
        const double out = output[0][i], in = left[late + i];
        const double share = static_cast<double>(i) / static_cast<double>(fade);
        ASSERT_NEAR(after[0][i], out + (in - out) * share, std::fabs(in - out) * 1.5 / fade + 1e-6) << i;
    }
}

TEST(OstrandChain, MidSideWithEqualCleanFiltersEqualsStereo)
{
    // Linear filters with equal settings on mid and side are the same
    // filter on left and right.
    const Signal left = noise(rate / 2, 21);
    const Signal right = sine(rate / 2, 220.0, 0.4);
    const std::vector<std::string> filter = {"Response=HP",          "Slope=24",  "Freq=300 Hz", "Peak=0.6",
                                             "Characteristic=Clean", "Delay=2 ms"};
    std::vector<std::string> stereo;
    std::vector<std::string> midSide = {"Routing Mode=Mid/Side", "Num Active Filters=2"};
    for (const std::string& s : filter) {
        stereo.push_back("Filter 1 " + s);
        midSide.push_back("Filter 1 " + s);
        midSide.push_back("Filter 2 " + s);
    }
    auto a = effect(2, stereo);
    auto b = effect(2, midSide);
    const auto outA = render(*a, {left, right});
    const auto outB = render(*b, {left, right});
    EXPECT_GT(rms(outA[0]), 0.05);
    // Rounding only: the encode halves, the resonance amplifies.
    EXPECT_LT(maxDifference(outA[0], outB[0]), 1e-4);
    EXPECT_LT(maxDifference(outA[1], outB[1]), 1e-4);
}

// At 8 kHz a path three samples late (an oversampled output stage's) is in
// opposite phase: its half would cancel the other half.
TEST(OstrandChain, PathsThatMeetAreInStepWhateverTheirFiltersLatency)
{
    const Signal tone = sine(rate / 4, 8000.0, 0.5), silence(tone.size());
    for (const std::vector<std::string>& s : std::vector<std::vector<std::string>>{
             {"Mix=50 %"}, {"Num Active Filters=3", "Routing=2"},
             {"Num Active Filters=2", "Routing=1", "Filter 2 Characteristic=Clean"},
             {"Routing Mode=Mid/Side", "Num Active Filters=2", "Filter 2 Characteristic=Clean", "Mix=70 %"},
             {"Routing Mode=Mid/Side", "Num Active Filters=2", "Filter 2 Enabled=Disabled"}}) {
        auto p = effect(s.size() == 1 ? 1 : 2, s); // one channel, then two
        const auto out = render(*p, s.size() == 1 ? std::vector<Signal>{tone} : std::vector<Signal>{tone, silence});
        EXPECT_GT(rms(out[0], rate / 8), 0.5 / std::sqrt(2.0) * 0.84) << s.back();
    }
}

TEST(OstrandChain, OutputPanAndFilterPanActOnTheirSide)
{
    // Output pan fully right: the left channel is silent, the right one
    // keeps its level (the linear pan law).
    const Signal in = noise(rate / 4, 31);
    auto p = effect(2, {"Output Pan=1", "Filter 1 Enabled=Disabled"});
    const auto out = render(*p, {in, in});
    EXPECT_EQ(rms(out[0]), 0.0);
    EXPECT_TRUE(out[1] == in);

    // Filter pan: the left channel runs the frequency plus the pan, the
    // right one the frequency minus it (turned left, the left channel gets
    // the lower frequency): a low-pass at 1 kHz with a pan of +1 octave is
    // at 2 kHz on the left and 500 Hz on the right.
    auto q = effect(2, {"Filter 1 Characteristic=Clean", "Filter 1 Freq=1000 Hz", "Filter 1 Pan=1"});
    const auto panned = render(*q, {in, in});
    auto l = effect(2, {"Filter 1 Characteristic=Clean", "Filter 1 Freq=2000 Hz"});
    auto r = effect(2, {"Filter 1 Characteristic=Clean", "Filter 1 Freq=500 Hz"});
    EXPECT_LT(maxDifference(panned[0], render(*l, {in, in})[0]), 1e-4);
    EXPECT_LT(maxDifference(panned[1], render(*r, {in, in})[1]), 1e-4);
}

TEST(OstrandChain, AutoMuteSilencesSelfOscillationWithoutInput)
{
    // A burst of noise rings a filter at full peak; once the input is
    // silent, the silence detector takes the peak away with auto-mute on,
    // and the filter rings on with it off.
    Signal in = noise(rate * 2, 41);
    std::fill(in.begin() + rate / 10, in.end(), 0.0f);
    double tails[2] = {};
    for (int on = 0; on < 2; ++on) {
        auto p = effect(2, {"Filter 1 Characteristic=Raw", "Filter 1 Peak=1", "Filter 1 Freq=800 Hz",
                            std::string("Auto Mute Self-Osc=") + (on ? "On" : "Off")});
        const auto out = render(*p, {in, in});
        tails[on] = rms(out[0], rate + rate / 2);
        for (float v : out[0])
            ASSERT_TRUE(std::isfinite(v));
    }
    EXPECT_GT(tails[0], 0.01) << "rings on without auto-mute";
    EXPECT_LT(tails[1], 1e-4) << "silent with auto-mute";
}

// A controller learned for "Output Gain" moves to 0 (-36 dB) at sample 0 of
// one large host block: that block itself glides down and ends on the new
// gain, in closed form.
TEST(OstrandChain, ALearnedControllerActsInTheBlockItArrivesIn)
{
    auto p = effect(2, {"Filter 1 Enabled=Disabled"});
    MidiControllerMap& map = *GenericPlugin::getSharedControllerMap();
    map.assign(20, p->findParameter("Output Gain"));
    constexpr int block = 8192;
    const Signal left = sine(block, 440.0), right = sine(block, 660.0);
    p->queueMidiEvent(0, 0xB0, 20, 0);
    const auto out = render(*p, {left, right}, block);
    map.clearAll();
    // The gain target spans 0.0158 .. 63.1 (±36 dB) linearly: dropping from
    // 1 is a small move of its range, which glides slowly.
    const double gain = std::pow(10.0, -36.0 / 20.0);
    const double move = (1.0 - gain) / (1.0 / gain - gain);
    const double glideMs = 20.0 + 130.0 * std::pow((0.3 - move) * 3.3333333, 2.0);
    const auto settled = static_cast<std::size_t>(glideMs * rate / 1000.0) + 1;
    ASSERT_LT(settled, static_cast<std::size_t>(block));
    for (int c = 0; c < 2; ++c) {
        const Signal& in = c == 0 ? left : right;
        EXPECT_NEAR(out[static_cast<std::size_t>(c)][0], in[0], 1e-6);
        for (std::size_t i = settled; i < block; ++i)
            ASSERT_NEAR(out[static_cast<std::size_t>(c)][i], gain * static_cast<double>(in[i]), 1e-6)
                << "channel " << c << ", sample " << i;
    }
}

// What each channel path runs as the routing settings change while playing:
// the routing configuration, how many filters, which of them (a bit each),
// which way the mid/side switch stands, and how many routing positions the
// editor offers. Mid/Side with four filters and Routing 3 is configuration
// 5 (mid on filters 1-2, side on 3-4); one channel ignores the mode.
TEST(OstrandRouting, ChannelPathsPerMode)
{
    struct Step {
        int channels;
        const char* setting;
        int configuration, count, side, used[2], choices;
    };
    const Step steps[] = {{2, "Routing=3", 3, 1, 0, {0b0001, 0b0001}, 1},
                          {2, "Num Active Filters=3", 3, 3, 0, {0b0111, 0b0111}, 4},
                          {2, "Routing Mode=Per Channel", 0, 2, 0, {0b0001, 0b0010}, 1},
                          {2, "Num Active Filters=4", 5, 4, 0, {0b0011, 0b1100}, 4},
                          {2, "Routing Mode=Mid/Side", 5, 4, 1, {0b0011, 0b1100}, 4},
                          {2, "Filter 3 Enabled=Disabled", 5, 4, 1, {0b0011, 0b1000}, 4},
                          {2, "Routing Mode=Stereo", 3, 4, 0, {0b1011, 0b1011}, 8},
                          {1, "Routing Mode=Per Channel", 0, 1, -1, {0b0001}, 1},
                          {1, "Num Active Filters=3", 0, 3, -1, {0b0111}, 4},
                          {1, "Routing=2", 2, 3, -1, {0b0111}, 4}};
    std::unique_ptr<OstrandPlugin> p;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.channels << " channel(s), " << s.setting);
        if (!p || p->getChannelCount() != s.channels)
            p = effect(s.channels, {});
        set(*p, s.setting);
        p->applyQueuedChanges();
        EXPECT_EQ(p->getRoutingChoiceCount(), s.choices);
        for (int c = 0; c < s.channels; ++c) {
            OstrandChannel& channel = p->getOstrandChannel(c);
            EXPECT_EQ(channel.getRouting().routingIndex.get(), s.configuration);
            EXPECT_EQ(channel.getRouting().activeFilterCount.get(), s.count);
            EXPECT_EQ(channel.getInputSide() ? channel.getInputSide()->selection.get() : -1, s.side);
            if (channel.getOutputSide()) {
                EXPECT_EQ(channel.getOutputSide()->selection.get(), s.side);
            }
            for (int n = 0; n < 4; ++n) {
                const bool used = (s.used[c] >> n) & 1;
                EXPECT_EQ(channel.getRouting().getElement(n).isActive(), used) << "filter " << n + 1;
                // The amounts follow: a filter not in use here does not run.
                EXPECT_EQ(channel.getAmount(n).getRamp().getTarget(), used ? 1.0f : 0.0f) << "filter " << n + 1;
            }
        }
    }
}

TEST(OstrandRouting, PerChannelFiltersEachSideOnItsOwn)
{
    // Filter 1 (low-pass at 200 Hz) on the left, filter 2 (high-pass at
    // 5 kHz) on the right, each four clean Butterworth sections: a 100 Hz
    // tone passes left only, a 10 kHz tone right only, each with the gain
    // of the bilinear-transformed sections, (1 + w^4)^-2 for the ratio w of
    // the prewarped frequencies.
    const std::vector<std::string> settings = {"Routing Mode=Per Channel", "Num Active Filters=2",
        "Filter 1 Characteristic=Clean", "Filter 2 Characteristic=Clean", "Filter 1 Freq=200 Hz",
        "Filter 1 Slope=48", "Filter 2 Response=HP", "Filter 2 Freq=5000 Hz", "Filter 2 Slope=48"};
    const std::size_t n = 24000;
    for (double hz : {100.0, 10000.0}) {
        auto p = effect(2, settings);
        const Signal tone = sine(static_cast<int>(n), hz, 0.5);
        const auto out = render(*p, {tone, tone});
        const double left = rms(out[0], n / 2), right = rms(out[1], n / 2), in = rms(tone, n / 2);
        auto warped = [](double f) { return std::tan(std::numbers::pi * f / 48000.0); };
        auto sections = [](double w) { return 1.0 / ((1.0 + std::pow(w, 4.0)) * (1.0 + std::pow(w, 4.0))); };
        if (hz < 1000.0) {
            EXPECT_NEAR(left / in, sections(warped(hz) / warped(200.0)), 0.005);
            EXPECT_LT(right / in, 1e-3);
        } else {
            EXPECT_LT(left / in, 1e-3);
            EXPECT_NEAR(right / in, sections(warped(5000.0) / warped(hz)), 0.005);
        }
    }
}

TEST(OstrandRouting, AStepLfoAndAnEnvelopeMoveTheCutoff)
{
    // A clean low-pass at 300 Hz on white noise; a square step LFO at 4 Hz
    // moves it by ±0.5 × 6.3 octaves: the level follows the steps.
    auto p = effect(2, {"Filter 1 Characteristic=Clean", "Filter 1 Freq=300 Hz", "Num Active XLFOs=1",
                        "XLFO 1 Frequency=4 Hz", "XLFO 1 Step 1 Value=1", "XLFO 1 Step 2 Value=-1"});
    ASSERT_GE(p->addConnection(0, 0, nullptr, 0.5f), 0);
    const Signal in = noise(rate, 5);
    const auto out = render(*p, {in, in});
    // Each step lasts 6000 samples; compare the settled parts of the two
    // halves of each cycle: 300 × 2^3.15 Hz against 300 / 2^3.15 Hz, noise
    // levels about sqrt(79) apart.
    for (std::size_t cycle = 0; cycle < 4; ++cycle) {
        const std::size_t start = cycle * 12000;
        const double open = rms(out[0], start + 2000, start + 5500);
        const double closed = rms(out[0], start + 8500, start + 11500);
        EXPECT_GT(open / closed, 6.0) << "cycle " << cycle;
    }

    // An envelope started by a loud input burst opens a closed filter for
    // its decay; the side chain triggers it while the main input is quiet.
    auto q = effect(2, {"Filter 1 Characteristic=Clean", "Filter 1 Freq=100 Hz", "Num Active EGs=1",
                        "EG 1Triggering=Side Chain", "EG 1 Decay=0.5", "EG 1 Sustain=0"});
    ASSERT_GE(q->addConnection(6, 0, nullptr, 0.5f), 0);
    q->applyQueuedChangesAtOnce();
    const Signal quiet = noise(rate, 9, 0.05);
    Signal key(static_cast<std::size_t>(rate), 0.0f);
    for (std::size_t i = 24000; i < 24480; ++i)
        key[i] = 0.9f;
    const auto keyed = render(*q, {quiet, quiet}, 512, {key, key});
    const double before = rms(keyed[0], 12000, 24000);
    const double after = rms(keyed[0], 24500, 26500);
    EXPECT_GT(after / before, 3.0);
    EXPECT_LT(rms(keyed[0], 46000, 48000) / before, 1.5) << "closed again after the decay";
}

TEST(OstrandRealtime, EverythingInUseAllocatesNothing)
{
    OstrandPlugin p(2, 48000.0f);
    const char* responses[] = {"LP", "HP", "BP", "LP"};
    set(p, "Num Active Filters=4");
    set(p, "Routing=5");
    for (int n = 1; n <= 4; ++n) {
        const std::string f = "Filter " + std::to_string(n);
        set(p, f + " Slope=48");
        set(p, f + " Response=" + responses[n - 1]);
        set(p, f + " Peak=0.7");
        set(p, f + " Delay=" + std::to_string(n * 3) + " ms");
        set(p, f + " Pan=0.5");
    }
    set(p, "Num Active XLFOs=6");
    set(p, "Num Active EGs=6");
    set(p, "EG 1Triggering=Side Chain");
    set(p, "EG 2Triggering=MIDI");
    set(p, "Num Active EFs=4");
    set(p, "EF 1Input=Side Chain");
    set(p, "Num Active MIDI Sources=10");
    set(p, "XLFO 1 Sync Mode=1/4");
    set(p, "XLFO 2 MIDI Trigger=On");
    // Slots from every kind of source onto filters, gains and other slots.
    const int connections[][2] = {{0, 0},   {1, 4},  {6, 2},  {7, 66}, {12, 3},
                                  {13, 70}, {16, 9}, {2, 71}, {14, 16}};
    for (const auto& c : connections)
        ASSERT_GE(p.addConnection(c[0], c[1]), 0);
    p.applyQueuedChangesAtOnce();

    const int block = 512;
    const Signal left = noise(block, 1), right = noise(block, 2), side = sine(block, 60.0, 0.9);
    std::vector<float> outL(block), outR(block);
    const float* inputs[4] = {left.data(), right.data(), side.data(), side.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    // Edits a user makes while playing, each stepping through its range:
    // routing and filter count, slots rewired and re-levelled, list sizes,
    // the step count, sync, triggering and MIDI inputs of the sources.
    const std::vector<std::pair<std::string, int>> edits = {
        {"Routing", 8}, {"Num Active Filters", 4}, {"Audition Signal", 3}, {"Auto Mute Self-Osc", 2},
        {"Num Active Slots", 25}, {"Slot 2 Source", 27}, {"Slot 3 Target", 96}, {"Slot 4 Inverted", 2},
        {"Slot 5 Bypassed", 2}, {"Slot 6 Level", 5}, {"Num Active XLFO 1 Steps", 16},
        {"XLFO 1 Sync Mode", 12}, {"XLFO 2 Step 2 Random", 2}, {"EF 1 Attack", 5}, {"EG 2Triggering", 3},
        {"MIDI Source 3 Input", 6}, {"Num Active EGs", 7}, {"Filter 2 Enabled", 2}};
    std::size_t allocations = 0;
    // Every characteristic passes through every filter, the modes change,
    // notes, controllers, pitch bend and program changes arrive: all of it
    // applied on the audio thread.
    for (int round = 0; round < 33; ++round) {
        for (int n = 0; n < 4; ++n)
            p.filters[n].characteristic.setValue(static_cast<float>((round + 3 * n) % 11), 0);
        p.routingMode.setValue(static_cast<float>(round / 11), 0);
        p.filters[round % 4].linked.setValue(static_cast<float>(round % 2), 0);
        for (const auto& [name, steps] : edits) {
            AbstractPluginParameter& e = parameter(p, name);
            const float position = static_cast<float>((round * 7 + static_cast<int>(name.size())) % steps);
            e.setValue(e.isEnumerated() ? e.getMin() + position
                                        : e.getMin() + position / static_cast<float>(steps - 1) *
                                                           (e.getMax() - e.getMin()),
                       0);
        }
        p.setTransport(140.0, round * 0.25);
        p.queueMidiEvent(round % block, round % 2 ? 0x80 : 0x90, 60, 100);
        p.queueMidiEvent(block / 2, 0xB0, 1, round);
        p.queueMidiEvent(block / 3, 0xE0, round, 64);
        p.queueMidiEvent(block / 4, 0xD0, round, 0);
        p.queueMidiEvent(block - 1, round % 2 ? 0xC0 : 0xB0, round % 2 ? round : 123, 0);
        testsupport::AllocationScope scope;
        p.process(inputs, 4, outputs, 2, block);
        allocations += scope.count();
        for (int i = 0; i < block; ++i)
            ASSERT_TRUE(std::isfinite(outL[static_cast<std::size_t>(i)]) &&
                        std::isfinite(outR[static_cast<std::size_t>(i)]));
    }
    if (testsupport::allocationCountingAvailable()) {
        EXPECT_EQ(allocations, 0u);
    }
    EXPECT_GT(rms(Signal(outL.begin(), outL.end())), 1e-3);
}

namespace {

const std::vector<std::string> characteristics = {"Merovance One", "Smooth", "Raw",   "Hard",  "Hollow",    "Extreme",
                                                  "Gentle",        "Tube",   "Metal", "Easy Going", "Clean"};
constexpr int tableCharacteristics = 10;  // the first ten; "Clean" is the linear one

Signal renderWith(const std::vector<std::string>& settings, const Signal& in, int block = 512)
{
    return render(*effect(1, settings), {in}, block)[0];
}

std::string characteristic(int c) { return "Filter 1 Characteristic=" + characteristics[static_cast<std::size_t>(c)]; }

double decibels(double x) { return 20.0 * std::log10(x); }

}  // namespace

// A loud sine driven far past the clip curve's table saturates: at the
// input's positive peaks the output is positive, at its negative peaks
// negative. (The curve's look-up used to wrap past the table's end and
// turn the peaks of a 100 Hz sine at +20 dB through Metal over.)
TEST(OstrandSound, LoudSinesKeepTheirSignAtTheirPeaks)
{
    const Signal in = sine(9600, 100.0, 1.0);
    for (int c = 0; c <= tableCharacteristics; ++c) {
        for (const char* gain : {"Input Gain=20 dB", "Input Gain=36 dB"}) {
            const Signal out = renderWith({characteristic(c), gain}, in);
            for (std::size_t i = 4800; i < in.size(); ++i) {
                if (std::fabs(in[i]) > 0.999f) {
                    ASSERT_GT(out[i] * in[i], 0.0f) << characteristics[static_cast<std::size_t>(c)] << ", " << gain;
                }
            }
        }
    }
}

// Full-scale white noise at Peak 1. The clean filter resonates in its
// first section only, so its peak stays near the 12 dB slope's at 24 and
// 48 dB (its sections used to multiply their resonance: +40 and +106
// dBFS). The table characteristics are bounded by their loop: their true
// peak (between the samples too) stays below +11 dBFS; it was up to +12.5
// with the clip curve's aliases. (Their sample peak can rise by 1 to 2 dB:
// the band-limited output's phase near 20 kHz brings the crests of a
// resonance at the top of the band onto samples that used to miss them.)
// The mean stays below 0.01 (one-sided curves once rectified into DC).
TEST(OstrandSound, ResonantFiltersStayBoundedOnFullScaleNoise)
{
    const Signal in = noise(40000, 11, 1.0);
    for (const char* freq : {"Filter 1 Freq=0.5", "Filter 1 Freq=1"}) {
        for (const char* slope : {"Filter 1 Slope=24", "Filter 1 Slope=48"}) {
            const Signal out = renderWith({characteristic(tableCharacteristics), "Filter 1 Peak=1", freq, slope}, in);
            double largest = 0.0;
            for (float v : out)
                largest = std::max(largest, static_cast<double>(std::fabs(v)));
            EXPECT_LE(decibels(largest), 12.0) << freq << ", " << slope;
        }
        for (int c = 0; c < tableCharacteristics; ++c) {
            const Signal out = renderWith({characteristic(c), "Filter 1 Peak=1", freq, "Filter 1 Slope=24"}, in);
            EXPECT_LE(decibels(spectrum::truePeak(out, 4800, 32768)), 11.0)
                << characteristics[static_cast<std::size_t>(c)] << ", " << freq;
            EXPECT_LT(std::fabs(std::accumulate(out.begin() + 12000, out.end(), 0.0) / 28000.0), 0.01)
                << characteristics[static_cast<std::size_t>(c)] << ", " << freq;
        }
    }
}

// A full-scale 7 kHz or 11 kHz sine at +12 dB input gain drives every clip
// curve hard. What it adds above half the rate must not fold back: the
// strongest component that is not a harmonic (nor DC) stays 50 dB (7 kHz)
// or 40 dB (11 kHz) below the fundamental. At the base rate it folded back
// at -10 to -48 dB.
TEST(OstrandSound, OvertonesDoNotFoldBack)
{
    const std::size_t n = 16384;
    const double bin = rate / static_cast<double>(n);
    for (const double hz : {7000.0, 11000.0}) {
        const Signal in = sine(static_cast<int>(4800 + n), hz, 1.0, rate);
        for (int c = 0; c < tableCharacteristics; ++c) {
            const Signal out = renderWith({characteristic(c), "Input Gain=12 dB"}, in);
            const std::vector<double> m = spectrum::amplitudes(out, 4800, n);
            double fundamental = 0.0;
            double folded = 0.0;
            double where = 0.0;
            for (std::size_t k = 8; k < m.size(); ++k) {
                const double f = static_cast<double>(k) * bin;
                const double harmonic = std::round(f / hz);
                if (harmonic >= 1.0 && std::fabs(f - harmonic * hz) <= 8.0 * bin) {
                    if (harmonic == 1.0)
                        fundamental = std::max(fundamental, m[k]);
                    continue;
                }
                if (m[k] > folded) {
                    folded = m[k];
                    where = f;
                }
            }
            EXPECT_LE(decibels(folded / fundamental), hz < 10000.0 ? -50.0 : -40.0)
                << characteristics[static_cast<std::size_t>(c)] << " at " << hz << " Hz, strongest at " << where;
        }
    }
}

// The clean filter designs on the stream's grid as well (the benchmark
// patches check the table filters, the followers and the sources): with a
// step LFO on its cut-off it renders the same at every host block size.
TEST(OstrandSound, AModulatedCleanFilterIsTheSameAtEveryHostBlockSize)
{
    const Signal in = noise(24000, 3, 0.5);
    const std::vector<std::string> settings = {
        "Filter 1 Characteristic=Clean", "Filter 1 Peak=0.7", "Filter 1 Freq=1000 Hz", "Num Active XLFOs=1",
        "XLFO 1 Frequency=3 Hz",         "XLFO 1 Step 1 Value=1", "XLFO 1 Step 1 Glide=1", "Num Active Slots=1",
        "Slot 1 Source=XLFO 1",          "Slot 1 Target=Filter 1 Freq", "Slot 1 Level=0.3"};
    const Signal reference = renderWith(settings, in, 512);
    for (const int block : {1, 17, 8192})
        EXPECT_LT(maxDifference(renderWith(settings, in, block), reference), 1e-6 * rms(reference)) << block;
}

// The host order is what presets, sessions and the LV2 ports are written
// in, so a parameter must never move; the texts are what the editor, the
// renderer and the LV2 port labels show, worked out from the display rules
// (2^(2.2666 + 13.9398 x) Hz, the delay curve times 50 ms, pan as -1..1).
TEST(OstrandPlugin, HostOrderAndDisplays)
{
    OstrandPlugin p(2, 48000.0f);
    ASSERT_EQ(p.getParameterCount(), OstrandPlugin::parameterCount);
    const std::vector<std::pair<int, std::string>> order = {
        {0, "Input Gain"},       {4, "Mix"},        {6, "Routing Mode"},         {8, "Filter 1 Freq"},
        {16, "Filter 1 Linked"}, {17, "Filter 2 Freq"},  {43, "Filter 4 Linked"}, {45, "XLFO 1 Frequency"},
        {471, "Num Active EGs"}, {508, "Num Active EFs"}, {541, "MIDI Source 10 Controller Number"},
        {542, "Receive MIDI"},   {544, "Audition Signal"}, {546, "Slot 1 Source"}, {547, "Slot 1 Level"},
        {548, "Slot 1 Bypassed"}, {549, "Slot 1 Inverted"}, {550, "Slot 1 Target"}, {665, "Slot 24 Target"}};
    for (const auto& [index, name] : order)
        EXPECT_EQ(p.getParameter(index)->getName(), name) << index;
    for (int i = 0; i < p.getParameterCount(); ++i)
        ASSERT_EQ(p.getParameter(i)->getIndex(), i);
    ASSERT_EQ(p.getVirtualParameterCount(), 2);
    EXPECT_EQ(p.getVirtualParameter(1048577)->getName(), "Filter Link Peak");
    // Slot targets name these numbers in presets.
    EXPECT_EQ(p.inputGain.getTarget(), 66);
    EXPECT_EQ(p.filters[3].delay.getTarget(), 15);

    struct Display {
        const char* name;
        float plain;
        const char* text;
    };
    // Delay 0.8: 50 x (0.36 + 0.55 / 2). XLFO 0.8 is 0.02 + 499.98 x 0.1; envelope times 3 x 0.1, 5 x 0.46.
    for (const Display& d : std::vector<Display>{
             {"Filter 1 Freq", 0.0f, "4.812 Hz"}, {"Filter 1 Freq", 0.5f, "603."},
             {"Filter 1 Freq", 1.0f, "75615."}, {"Filter 1 Pan", -3.5f, "-1.000"},
             {"Filter 1 Delay", 0.5f, "8.000 ms"}, {"Filter 1 Delay", 0.8f, "31.750 ms"},
             {"Filter 1 Delay", 1.0f, "50.000 ms"}, {"Input Gain", -6.0f, "-6.000 dB"},
             {"Mix", 25.0f, "25.000 %"}, {"Filter 1 Characteristic", 0.0f, "Merovance One"},
             {"Filter 1 Characteristic", 10.0f, "Clean"}, {"Filter 1 Slope", 3.0f, "48"},
             {"Routing Mode", 2.0f, "Mid/Side"}, {"Audition Signal", 2.0f, "Side Chain"},
             {"XLFO 1 Frequency", 0.0f, "0.020 Hz"}, {"XLFO 1 Frequency", 0.8f, "50.018 Hz"},
             {"XLFO 1 Frequency", 1.0f, "500.000 Hz"}, {"XLFO 1 Frequency Offset", -1.0f, "0.500"},
             {"XLFO 1 Frequency Offset", 1.0f, "2.000"}, {"XLFO 1 Sync Mode", 7.0f, "1/4"},
             {"XLFO 6 Step 16 Glide function", 3.0f, "Sine"}, {"XLFO 6 Step 16 Random", 1.0f, "Random"},
             {"EG 1 Threshold", 0.9f, "0.910"}, {"EG 2Triggering", 2.0f, "MIDI"},
             {"EG 3 Attack", 0.5f, "0.300 s"}, {"EG 3 Decay", 1.0f, "5.000 s"},
             {"EG 3 Release", 0.9f, "2.300 s"}, {"EG 4 Sustain", 0.5f, "-6.021 dB"},
             {"EF 1Input", 1.0f, "Side Chain"}, {"EF 2 Attack", 1.0f, "1.000 s"},
             {"EF 2 Release", 1.0f, "5.000 s"}, {"MIDI Source 10 Input", 4.0f, "KB Track"}})
        EXPECT_EQ(parameter(p, d.name).valueToText(d.plain).rfind(d.text, 0), 0u) << d.name << " " << d.plain;
    EXPECT_EQ(parameter(p, "EG 1 Threshold").getText() + " | " + parameter(p, "XLFO 1 Frequency").getText(),
              "0.072 | 1.000 Hz");
    EXPECT_FLOAT_EQ(SourceDisplayCurves::envelopeTime(0.975f), 0.7933333f);
    EXPECT_FLOAT_EQ(SourceDisplayCurves::threshold(-0.3f), -0.072f);
    EXPECT_FLOAT_EQ(SourceDisplayCurves::xlfoFrequency(0.99f), 1.0f);
    EXPECT_FLOAT_EQ(SourceDisplayCurves::xlfoFrequency(-0.5f), 0.0f);

    // What the matrix receives: a linear gain, -1..1 for the mix, log2 Hz.
    p.process(nullptr, 0, nullptr, 0, 0);
    const ModulationMatrix& m = *p.getModulationMatrix();
    EXPECT_FLOAT_EQ(m.getTargetEntry(66).base, 1.0f);
    EXPECT_FLOAT_EQ(m.getTargetEntry(70).base, 1.0f);
    EXPECT_FLOAT_EQ(m.getTargetEntry(0).base, 16.2064f);
    p.inputGain.setValue(6.0f, 0);
    p.mix.setValue(0.0f, 0);
    p.filters[0].delay.setValue(0.25f, 0);
    p.process(nullptr, 0, nullptr, 0, 0);
    EXPECT_FLOAT_EQ(m.getTargetEntry(66).base, static_cast<float>(std::pow(10.0, 6.0 / 20.0)));
    EXPECT_FLOAT_EQ(m.getTargetEntry(70).base, -1.0f);
    EXPECT_FLOAT_EQ(m.getTargetEntry(3).base, 2.5f);

    // A filter's slope never becomes 0.
    p.filters[1].slope.setValue(0.0f, 0);
    EXPECT_EQ(p.filters[1].slope.getText(), "12");
}

// The source sections' settings reach their nodes, and the matrix's targets
// carry display values (500 Hz, 0.3 s, 5 s); a removed XLFO hands its
// place, steps and all, to the next one.
TEST(OstrandPlugin, SourceSettingsReachTheirNodesAndMoveWithTheirSets)
{
    OstrandPlugin p(2, 48000.0f);
    p.xlfos.getNumActiveParameter().setValue(2, 0);
    p.egs.getNumActiveParameter().setValue(1, 0);
    XLFOParameterSet& second = p.xlfos[1];
    second.balance.setValue(0.25f, 0);
    second.syncMode.setValue(7, 0);
    second.getSteps().getNumActiveParameter().setValue(5, 0);
    second.getSteps()[4].value.setValue(-0.5f, 0);
    second.getSteps()[4].glideFunction.setValue(2, 0);
    second.getSteps()[4].random.setValue(1, 0);
    p.xlfos[0].frequency.setValue(1.0f, 0);
    p.egs[0].threshold.setValue(0.5f, 0);
    p.egs[0].triggering.setValue(2, 0);
    p.egs[0].attack.setValue(0.5f, 0);
    p.efs[1].release.setValue(1.0f, 0);
    p.midiSources[3].input.setValue(5, 0);
    p.midiSources[3].controllerNumber.setValue(74, 0);
    const Signal silence(9600); // the bases glide for up to 150 ms
    render(p, {silence, silence});

    const XLFO& x = p.getXLFO(1);
    EXPECT_EQ(x.balance.get(), 0.25f);
    EXPECT_EQ(p.getXLFOController(1).syncMode.get(), SyncMode::SyncQuarterBar);
    p.setTransport(90.0, 0.0); // "1/4" at the host's 90 BPM: 1.5 Hz
    EXPECT_FLOAT_EQ(p.getXLFOController(1).getBaseTarget(), 1.5f);
    EXPECT_EQ(x.numSteps.get(), 5);
    EXPECT_EQ(x.getStep(4).value.get(), -0.5f);
    EXPECT_EQ(x.getStep(4).glideCurve.get(), XLFO::GlideCurve::Sqrt);
    EXPECT_TRUE(x.getStep(4).random.get());
    EXPECT_EQ(p.getEG(0).getTrigger()->threshold.get(), 0.16f);
    EXPECT_FALSE(p.getEG(0).getTrigger()->enabled.get());
    EXPECT_EQ(p.getMidiSource(3).input.get(), MidiModSource::MidiInput::Controller);
    EXPECT_EQ(p.getMidiSource(3).controllerNumber.get(), 74);
    const ModulationMatrix& m = *p.getModulationMatrix();
    EXPECT_FLOAT_EQ(m.getTargetEntry(16).base, 500.0f);
    EXPECT_FLOAT_EQ(m.getTargetEntry(34).base, 0.3f);
    EXPECT_FLOAT_EQ(m.getTargetEntry(61).base, 5.0f);
    // The EG reads its attack through the matrix at its next start.
    p.getEG(0).midiStart();
    render(p, {silence, silence});
    EXPECT_FLOAT_EQ(p.getEG(0).getAttack(), 0.3f);

    p.xlfos.getNumActiveParameter().setValue(3, 0);
    XLFOParameterSet& third = p.xlfos[2];
    third.balance.setValue(0.1f, 0);
    third.getSteps().getNumActiveParameter().setValue(7, 0);
    third.getSteps()[6].value.setValue(0.75f, 0);
    second.getSteps()[0].value.setValue(-1.0f, 0);
    p.xlfos.removeSet(1);
    EXPECT_EQ(p.xlfos.getNumActive(), 2);
    EXPECT_FLOAT_EQ(second.balance.getValue(), 0.1f);
    EXPECT_EQ(second.getSteps().getNumActive(), 7);
    EXPECT_FLOAT_EQ(second.getSteps()[6].value.getValue(), 0.75f);
    EXPECT_FLOAT_EQ(second.getSteps()[0].value.getValue(), 0.0f);
    // The set that fell off the end is back to its defaults, steps included.
    EXPECT_FLOAT_EQ(third.balance.getValue(), 0.5f);
    EXPECT_EQ(third.getSteps().getNumActive(), 2);
    EXPECT_FLOAT_EQ(third.getSteps()[6].value.getValue(), 0.0f);
    // Inserting after the first XLFO copies it, steps and all.
    p.xlfos[0].getSteps()[3].value.setValue(0.25f, 0);
    p.xlfos.insertSet(1);
    EXPECT_EQ(p.xlfos.getNumActive(), 3);
    EXPECT_FLOAT_EQ(p.xlfos[1].getSteps()[3].value.getValue(), 0.25f);
    EXPECT_EQ(p.xlfos[2].getSteps().getNumActive(), 7);
}

TEST(OstrandPlugin, LinkedFiltersMoveTogetherFromMidi)
{
    OstrandPlugin p(2, 48000.0f);
    p.filters[0].freq.setValue(0.3f, 0);
    p.filters[1].freq.setValue(0.4f, 0);
    p.filters[2].freq.setValue(0.5f, 0);
    p.filters[0].linked.setValue(1.0f, 0);
    p.filters[2].linked.setValue(1.0f, 0);
    p.applyQueuedChanges();
    EXPECT_EQ(p.getLinkFreq().getLinkedCount(), 2);
    EXPECT_EQ(p.getLinkPeak().getLinkedCount(), 2);

    // The group's mean goes to 0.6; filters 1 and 3 keep their distance.
    p.setParameterByMidi(1048576, 0.6f);
    EXPECT_NEAR(p.filters[0].freq.getValue(), 0.5f, 1e-6f);
    EXPECT_NEAR(p.filters[2].freq.getValue(), 0.7f, 1e-6f);
    EXPECT_EQ(p.filters[1].freq.getValue(), 0.4f);
    EXPECT_EQ(p.filters[3].freq.getValue(), 1.0f);
    p.setParameterByMidi(1048577, 0.8f);
    EXPECT_NEAR(p.filters[0].peak.getValue(), 0.8f, 1e-6f);
    EXPECT_EQ(p.filters[1].peak.getValue(), 0.0f);

    // Link filter 2, then unlink it and filter 1: only filter 3 is left.
    p.filters[1].linked.setValue(1.0f, 0);
    p.applyQueuedChanges();
    EXPECT_EQ(p.getLinkFreq().getLinkedCount(), 3);
    p.filters[1].linked.setValue(0.0f, 0);
    p.filters[0].linked.setValue(0.0f, 0);
    p.applyQueuedChanges();
    EXPECT_EQ(p.getLinkFreq().getLinkedCount(), 1);
    EXPECT_TRUE(p.getLinkFreq().isLinked(&p.filters[2].freq));
    EXPECT_FALSE(p.getLinkPeak().isLinked(&p.filters[0].peak));
}

TEST(OstrandPlugin, NotesDriveTheSourcesAndTheLevelsShowThem)
{
    OstrandPlugin p(2, 48000.0f);
    set(p, "Num Active XLFOs=1");
    set(p, "XLFO 1 MIDI Trigger=On");
    set(p, "Num Active EGs=1");
    set(p, "EG 1Triggering=MIDI");
    set(p, "EG 1 Attack=0.5");
    set(p, "Num Active MIDI Sources=2");
    set(p, "MIDI Source 1 Input=Velocity");
    set(p, "MIDI Source 2 Input=KB Track");
    p.applyQueuedChangesAtOnce();
    const Signal silence(4800);

    render(p, {silence, silence});
    // 1 Hz: a tenth of a cycle per 4800 samples.
    EXPECT_NEAR(p.getXLFO(0).getPhase(), 0.1, 1e-3);
    // Through the decoder and the effect's channel receiver.
    p.queueMidiEvent(0, 0x90, 60, 127);
    p.queueMidiEvent(0, 0x90, 64, 127);
    render(p, {silence, silence}, 4800);
    EXPECT_EQ(p.getHeldNotes(), 2);
    EXPECT_NEAR(p.getXLFO(0).getPhase(), 0.1, 1e-3) << "restarted by the notes, not at 0.2";
    EXPECT_TRUE(p.getEG(0).isGateOpen());
    // Velocity 1 shows as 1, KB Track of note 64 as (16/120 + 0.3917) × 1.0084.
    EXPECT_NEAR(p.getSourceLevel(16), 1.0f, 1e-4f);
    EXPECT_NEAR(p.getSourceLevel(17), (16.0f / 120.0f + 0.39166668f) * 1.0084033f, 1e-4f);
    EXPECT_TRUE(p.getSourceLevel(6) > 0.0f && p.getSourceLevel(6) <= 1.0f) << p.getSourceLevel(6);
    EXPECT_TRUE(p.getSourceLevel(0) >= 0.0f && p.getSourceLevel(0) <= 1.0f) << p.getSourceLevel(0);
    EXPECT_EQ(p.getSourceLevel(26), 0.0f);

    // The last note off releases the envelope (the counting rules are the
    // note triggers' own tests').
    p.queueMidiEvent(0, 0x80, 60, 0);
    p.queueMidiEvent(0, 0x80, 64, 0);
    render(p, {silence, silence}, 4800);
    EXPECT_FALSE(p.getEG(0).isGateOpen());

    // "Receive MIDI" "Disabled": notes no longer arrive.
    set(p, "Receive MIDI=Disabled");
    render(p, {silence, silence}, 4800);
    p.queueMidiEvent(0, 0x90, 70, 100);
    render(p, {silence, silence}, 4800);
    EXPECT_EQ(p.getHeldNotes(), 0);
}
