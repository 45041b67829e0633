// The processing chain end to end, each case against something worked out
// independently: a gain in closed form, the unprocessed input, the same
// filtering taken another way round.
#include "EffectHarness.h"

#include "effect/OstrandChannel.h"
#include "framework/MidiControllerMap.h"

#include <cmath>

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
        const auto out = render(*p, {left, right});
        EXPECT_TRUE(out[0] == left);
        EXPECT_TRUE(out[1] == right);
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
    const std::size_t fade = rate / 50; // 20 ms
    for (std::size_t i = fade; i < secondLeft.size(); ++i) {
        ASSERT_EQ(after[0][i], secondLeft[i]) << i;
        ASSERT_EQ(after[1][i], secondRight[i]) << i;
    }
    // Within the fade: a straight line from the output to the input, give
    // or take one sample's step.
    for (std::size_t i = 0; i < fade; ++i) {
        const double out = output[0][i], in = secondLeft[i];
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
