// How the routing parameters reach each channel path, the usable routing
// positions, and a modulated cut-off measured in the audio.
#include "EffectHarness.h"

#include "effect/OstrandChannel.h"
#include "filters/MidSideConverter.h"

#include <cmath>

using namespace effecttest;

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
    const std::vector<std::string> settings = {
        "Routing Mode=Per Channel",   "Num Active Filters=2",        "Filter 1 Characteristic=Clean",
        "Filter 2 Characteristic=Clean", "Filter 1 Freq=200 Hz",     "Filter 1 Slope=48",
        "Filter 2 Response=HP",       "Filter 2 Freq=5000 Hz",       "Filter 2 Slope=48"};
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
    const int rate = 48000;
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
