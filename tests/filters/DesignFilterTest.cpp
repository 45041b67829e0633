#include "filters/DesignFilter.h"
#include "filters/DesignFilterStyle.h"
#include "filters/FilterCharacteristics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

// The ten factory characteristics and the neutral (table-less) one.
std::vector<const DesignFilter::Style*> allStyles()
{
    static const DesignFilter::Style neutral("", 1.0f);
    std::vector<const DesignFilter::Style*> styles;
    const FilterCharacteristics& list = FilterCharacteristics::shared();
    for (int i = 0; i < list.size(); ++i)
        styles.push_back(&list[i]);
    styles.push_back(&neutral);
    return styles;
}

std::vector<float> noise(size_t n, float level, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> d(-level, level);
    std::vector<float> x(n);
    for (float& v : x)
        v = d(random);
    return x;
}

std::vector<float> square(size_t n, double hz, double rate)
{
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = std::fmod(static_cast<double>(i) * hz / rate, 1.0) < 0.5 ? 1.0f : -1.0f;
    return x;
}

// Runs up to four lanes through one filter in blocks of `block` samples.
void runLanes(DesignFilter& filter, const std::vector<float>* in, std::vector<float>* out,
              const std::vector<float>* cut, const std::vector<float>* peak, int block,
              const std::function<void(size_t end)>& afterBlock = {})
{
    const size_t n = in[0].size();
    for (size_t o = 0; o < n; o += static_cast<size_t>(block)) {
        const int frames = static_cast<int>(std::min(n - o, static_cast<size_t>(block)));
        StateVariableFilter::Lanes lanes;
        for (int l = 0; l < 4; ++l) {
            lanes.input[l] = in[l].data() + o;
            lanes.output[l] = out[l].data() + o;
            lanes.cutoff[l] = cut[l].data() + o;
            lanes.peak[l] = peak[l].data() + o;
            lanes.active[l] = true;
        }
        filter.processLanes(lanes, frames);
        if (afterBlock)
            afterBlock(o + static_cast<size_t>(frames));
    }
}

}  // namespace

// Each lane of a four-lane pass is what a one-lane filter makes of the same
// streams, for every characteristic, response and slope, with four
// different signals, cut-offs and peaks at once. The cut-offs share one
// sweep shape (offsets and steps exact in float), so the joint segmentation
// equals each lane's own.
TEST(DesignFilter, FourLanesMatchOneLaneForEveryCharacteristicResponseAndSlope)
{
    const double rate = 44100.0;
    const size_t n = 2000;
    const std::vector<float> in[4] = {noise(n, 0.8f, 1), square(n, 110.0, rate), noise(n, 0.05f, 2),
                                      square(n, 1234.0, rate)};
    const float offset[4] = {0.0f, 0.5f, -1.0f, 1.5f};
    const float peakLevel[4] = {0.2f, 0.6f, 0.9f, 1.0f};
    std::vector<float> cut[4], peak[4];
    for (int l = 0; l < 4; ++l) {
        cut[l].resize(n);
        peak[l].resize(n);
        for (size_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(i) / static_cast<double>(n);
            const double tri = t < 0.5 ? 2.0 * t : 2.0 - 2.0 * t;
            float base = 6.0f + static_cast<float>(std::round(256.0 * 7.0 * tri)) / 256.0f;
            if (i >= 1200 && i < 1300)
                base += 2.0f;  // a jump
            cut[l][i] = base + offset[l];
            peak[l][i] = peakLevel[l] * (i < 1000 ? 1.0f : 0.5f);
        }
    }

    for (const DesignFilter::Style* style : allStyles()) {
        for (int response = 0; response < 3; ++response) {
            for (int slope = 1; slope <= 3; ++slope) {
                DesignFilter quad(*style, 1024, static_cast<float>(rate));
                quad.response = response;
                quad.slope = slope;
                std::vector<float> out[4] = {std::vector<float>(n), std::vector<float>(n), std::vector<float>(n),
                                             std::vector<float>(n)};
                runLanes(quad, in, out, cut, peak, 250);
                for (int l = 0; l < 4; ++l) {
                    DesignFilter single(*style, 1024, static_cast<float>(rate));
                    single.response = response;
                    single.slope = slope;
                    std::vector<float> expected(n);
                    for (size_t o = 0; o < n; o += 250)
                        single.process(in[l].data() + o, expected.data() + o, cut[l].data() + o, peak[l].data() + o,
                                       nullptr, 250, false);
                    double worst = 0.0;
                    for (size_t i = 0; i < n; ++i)
                        worst = std::max(worst, std::fabs(static_cast<double>(out[l][i]) - static_cast<double>(expected[i])) /
                                                    std::max(1.0, std::fabs(static_cast<double>(expected[i]))));
                    EXPECT_LE(worst, 1e-6) << "style k=" << style->clipShapeFactor.get() << " response " << response
                                           << " slope " << slope << " lane " << l;
                }
            }
        }
    }
}

// Everywhere in its parameter space the filter stays finite and inside its
// bounds: low-pass output within 10 / comp and band-pass within 1 / comp
// (the clip curve never exceeds its input's magnitude), high-pass within
// the clip curve's largest value times the largest output gain; states
// within their clamps. Four lanes: silence, full-scale noise, a full-scale
// square, and noise with NaN and infinity bursts, which must recover.
TEST(DesignFilter, StableAndBoundedAcrossRatesCharacteristicsSlopesAndResponses)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (double rate : {22050.0, 44100.0, 96000.0, 192000.0}) {
        const size_t n = static_cast<size_t>(rate * (rate < 50000.0 ? 2.0 : 0.75));
        std::vector<float> in[4] = {std::vector<float>(n, 0.0f), noise(n, 1.0f, 3), square(n, 97.0, rate),
                                    noise(n, 1.0f, 3)};
        for (size_t i = n / 4; i < n / 4 + 300; ++i)
            in[3][i] = nan;
        for (size_t i = n / 2; i < n / 2 + 20; i += 3)
            in[3][i] = (i & 1) ? inf : -inf;
        // Cut-off: two triangles across the whole grid and a little beyond;
        // peak: rising from 0 to 1 over the run, then held at 1.
        std::vector<float> cut[4], peak[4];
        cut[0].resize(n);
        peak[0].resize(n);
        for (size_t i = 0; i < n; ++i) {
            const double t = std::fmod(2.0 * static_cast<double>(i) / static_cast<double>(n), 1.0);
            const double tri = t < 0.5 ? 2.0 * t : 2.0 - 2.0 * t;
            cut[0][i] = static_cast<float>(1.5 + tri * 16.0);
            peak[0][i] = static_cast<float>(std::min(1.0, 1.25 * static_cast<double>(i) / static_cast<double>(n)));
        }
        for (int l = 1; l < 4; ++l) {
            cut[l] = cut[0];
            peak[l] = peak[0];
        }

        for (const DesignFilter::Style* style : allStyles()) {
            const float comp = style->gainCompensation();
            const float* table = style->clipTable().table().data();
            const float tableMax = std::fabs(*std::max_element(table, table + 8193, [](float a, float b) {
                return std::fabs(a) < std::fabs(b);
            }));
            for (int slope = 1; slope <= 3; ++slope) {
                for (int response = 0; response < 3; ++response) {
                    DesignFilter filter(*style, 1024, static_cast<float>(rate));
                    filter.slope = slope;
                    filter.response = response;
                    std::vector<float> out[4] = {std::vector<float>(n), std::vector<float>(n),
                                                 std::vector<float>(n), std::vector<float>(n)};
                    bool statesInBounds = true;
                    runLanes(filter, in, out, cut, peak, 1024, [&](size_t) {
                        for (int s = 0; s < StateVariableFilter::maxStages; ++s)
                            for (int l = 0; l < 4; ++l)
                                statesInBounds = statesInBounds && std::fabs(filter.bandState(s, l)) <= 1.0f &&
                                                 std::fabs(filter.lowState(s, l)) <= 10.0f;
                    });
                    const float bound =
                        (response == 0 ? 10.0f / comp : response == 1 ? tableMax / (0.1f * comp) : 1.0f / comp) *
                        1.0001f;
                    const std::string where = "rate " + std::to_string(rate) + " k " +
                                              std::to_string(style->clipShapeFactor.get()) + " slope " +
                                              std::to_string(slope) + " response " + std::to_string(response);
                    EXPECT_TRUE(statesInBounds) << where;
                    for (int l = 0; l < 4; ++l) {
                        float worst = 0.0f;
                        bool finite = true;
                        for (float v : out[l]) {
                            finite = finite && std::isfinite(v);
                            worst = std::max(worst, std::fabs(v));
                        }
                        ASSERT_TRUE(finite) << where << " lane " << l;
                        EXPECT_LE(worst, bound) << where << " lane " << l;
                    }
                    // After the bursts the damaged lane works again: over the
                    // last fifth it carries as much signal as its clean twin.
                    double clean = 0.0, recovered = 0.0;
                    for (size_t i = n - n / 5; i < n; ++i) {
                        clean += static_cast<double>(out[1][i]) * static_cast<double>(out[1][i]);
                        recovered += static_cast<double>(out[3][i]) * static_cast<double>(out[3][i]);
                    }
                    if (clean > 1e-6 * static_cast<double>(n)) {
                        EXPECT_GT(recovered, 0.25 * clean) << where;
                    }
                }
            }
        }
    }
}

// The recovery rule, exactly: a NaN poisons the states until the end of its
// segment (the output there is silent); from the next segment on, the filter is a
// freshly reset one.
TEST(DesignFilter, NaNResetsTheLaneAtTheEndOfItsSegment)
{
    const DesignFilter::Style& one = FilterCharacteristics::shared()[0];
    const size_t n = 512;
    std::vector<float> in = noise(n, 0.5f, 9), cut(n, 9.0f), peak(n, 0.6f), out(n), clean(n), fresh(n - 128);
    for (size_t i = 100; i < 110; ++i)
        in[i] = std::numeric_limits<float>::quiet_NaN();
    DesignFilter undisturbed(one, 1024, 48000.0f);
    undisturbed.slope = 2;
    undisturbed.process(in.data(), clean.data(), cut.data(), peak.data(), nullptr, 96, false);
    DesignFilter filter(one, 1024, 48000.0f);
    filter.slope = 2;
    filter.process(in.data(), out.data(), cut.data(), peak.data(), nullptr, static_cast<int>(n), false);
    for (size_t i = 0; i < 96; ++i)
        ASSERT_EQ(out[i], clean[i]) << i;
    // The output stage reads the poisoned samples as 0; its curve at 0 is
    // the mean of the two table points around it, a few 1e-9.
    for (size_t i = 100; i < 128; ++i)
        ASSERT_LT(std::fabs(out[i]), 1e-6f) << i;
    DesignFilter restarted(one, 1024, 48000.0f);
    restarted.slope = 2;
    restarted.process(in.data() + 128, fresh.data(), cut.data(), peak.data(), nullptr, static_cast<int>(n - 128),
                      false);
    for (size_t i = 128; i < n; ++i)
        ASSERT_EQ(out[i], fresh[i - 128]) << i;
}

// Resonance amounts above 1 oscillate without input; the band state stays
// within +-1, so the band-pass output stays within 1 / comp.
TEST(DesignFilter, SelfOscillationIsBounded)
{
    for (int index : {0, 5, 8}) {  // One, Extreme, Metal
        const DesignFilter::Style& style = FilterCharacteristics::shared()[index];
        ASSERT_GT(style.getSettings(1.0f, 10.0f).resonanceAmount, 1.0f);
        DesignFilter filter(style, 1024, 44100.0f);
        filter.response = 2;
        const size_t n = 1024;
        std::vector<float> silence(n, 0.0f), out(n), cut(n, 10.0f), peak(n, 1.0f);
        double energy = 0.0;
        float largestBand = 0.0f, largestOut = 0.0f;
        for (int block = 0; block < 200; ++block) {
            filter.process(silence.data(), out.data(), cut.data(), peak.data(), nullptr, static_cast<int>(n), true);
            largestBand = std::max(largestBand, std::fabs(filter.bandState(0, 0)));
            for (float v : out) {
                largestOut = std::max(largestOut, std::fabs(v));
                if (block >= 150)
                    energy += static_cast<double>(v) * static_cast<double>(v);
            }
        }
        EXPECT_GT(std::sqrt(energy / (50.0 * static_cast<double>(n))), 0.05) << index;  // it does oscillate
        EXPECT_GT(largestBand, 0.5f) << index;
        EXPECT_LE(largestBand, 1.0f) << index;
        EXPECT_LE(largestOut, 1.0001f / style.gainCompensation()) << index;
    }
}

// Switching the characteristic keeps the states; changing one of the
// filter's own settings resets them.
TEST(DesignFilter, CharacteristicSwitchKeepsStatesAndPropertyChangeResets)
{
    const FilterCharacteristics& list = FilterCharacteristics::shared();
    DesignFilter filter(list, 1024, 44100.0f);
    EXPECT_EQ(&filter.characteristic(), &list[0]);
    std::vector<float> in(256, 0.5f), out(256), cut(256, 9.0f), peak(256, 0.5f);
    filter.process(in.data(), out.data(), cut.data(), peak.data(), nullptr, 256, true);
    const float low = filter.lowState(0, 0);
    filter.setCharacteristic(list[3]);
    EXPECT_EQ(filter.lowState(0, 0), low);
    EXPECT_EQ(filter.gainCompensation(), 1.4f);
    filter.drive = 3.0f;
    EXPECT_EQ(filter.lowState(0, 0), 0.0f);
}
