#include "modulation/EnvelopeFollower.h"
#include "SourceHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr float rate = 48000.0f;

struct Follower {
    Follower(std::vector<float> input, float attack, float release)
        : graph(rate), audio(graph, std::move(input)), ef(graph, &audio)
    {
        ef.getAttackInput().getInternal().setTarget(0.0f, attack);
        ef.getReleaseInput().getInternal().setTarget(0.0f, release);
    }
    std::vector<float> run(int n) { return harness::pullFrames(graph, ef, n, 1000); }
    wave::Graph graph;
    harness::SignalPlayer audio;
    EnvelopeFollower ef;
};

} // namespace

TEST(EnvelopeFollower, StartsAtZeroAndCoversNinetyPercentInTheAttackTime)
{
    // Silence reads as the -60 dB floor from the very first sample.
    {
        Follower f(std::vector<float>(1, 0.0f), 0.0005f, 0.1f);
        const std::vector<float> out = f.run(3000);
        for (float v : out)
            ASSERT_EQ(v, 0.0f);
    }
    // Full scale from silence with a 10 ms attack: 0.9 of the way to 1 after
    // 480 samples; the step response is 1 - (1 - c)^k with (1 - c)^480 = 0.1.
    {
        Follower f(std::vector<float>(1, 1.0f), 0.01f, 0.1f);
        const std::vector<float> out = f.run(2000);
        EXPECT_NEAR(out[479], 0.9f, 1e-5f);
        EXPECT_NEAR(out[239], 1.0f - std::sqrt(0.1f), 1e-5f);
        EXPECT_NEAR(out[1999], 1.0f, 1e-4f);
        EXPECT_GT(out[0], 0.0f);
    }
    // From full scale, the 50 ms minimum release falls to 0.1 in 2400 samples.
    {
        std::vector<float> input(10000, 1.0f);
        std::fill(input.begin() + 5000, input.end(), 0.0f);
        Follower f(input, 0.0005f, 0.05f);
        const std::vector<float> out = f.run(10000);
        EXPECT_NEAR(out[4999], 1.0f, 1e-5f);
        EXPECT_NEAR(out[5000 + 2399], 0.1f, 1e-5f);
        EXPECT_GT(out[5000 + 2399], 0.0f);
    }
    // A release tail into silence ends at 0 without passing through
    // subnormal numbers (slow on many processors), even where the caller
    // does not flush them.
    {
        std::vector<float> input(1000, 1.0f);
        input.resize(200000, 0.0f);
        Follower f(input, 0.0005f, 0.05f);
        const std::vector<float> out = f.run(200000);
        for (std::size_t k = 0; k < out.size(); ++k)
            ASSERT_NE(std::fpclassify(out[k]), FP_SUBNORMAL) << k;
        EXPECT_EQ(out.back(), 0.0f);
        EXPECT_EQ(f.ef.getLevel(), 0.0f);
    }
    // Louder than full scale reads above 1: +6.02 dB gives 1.1003.
    {
        Follower f(std::vector<float>(1, 2.0f), 0.0005f, 0.1f);
        EXPECT_NEAR(f.run(2000).back(), (20.0f * std::log10(2.0f) + 60.0f) / 60.0f, 1e-5f);
    }
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
