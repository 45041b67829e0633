#include "GraphSignals.h"
#include "Spectrum.h"
#include "TestFiles.h"

#include "filters/BiQuadFilter.h"
#include "filters/DesignFilter.h"
#include "filters/DesignFilterStyle.h"
#include "filters/FilterCharacteristics.h"
#include "filters/StateVariableFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
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

std::vector<float> square(size_t n, double hz, double rate)
{
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = std::fmod(static_cast<double>(i) * hz / rate, 1.0) < 0.5 ? 1.0f : -1.0f;
    return x;
}

// Runs four lanes through one filter in blocks of `block` samples; `before`
// may set up block b (the slope, the lanes in use), `after` look at the
// filter once the block ran.
void runLanes(DesignFilter& filter, const std::vector<float>* in, std::vector<float>* out,
              const std::vector<float>* cut, const std::vector<float>* peak, int block,
              const std::function<void(int b, StateVariableFilter::Lanes&)>& before = {},
              const std::function<void(int b)>& after = {})
{
    const size_t n = in[0].size();
    for (int b = 0; static_cast<size_t>(b * block) < n; ++b) {
        const size_t o = static_cast<size_t>(b * block);
        StateVariableFilter::Lanes lanes;
        for (int l = 0; l < 4; ++l) {
            out[l].resize(n);
            lanes.input[l] = in[l].data() + o;
            lanes.output[l] = out[l].data() + o;
            lanes.cutoff[l] = cut[l].data() + o;
            lanes.peak[l] = peak[l].data() + o;
            lanes.active[l] = true;
        }
        if (before)
            before(b, lanes);
        filter.processLanes(lanes, static_cast<int>(std::min(n - o, static_cast<size_t>(block))));
        if (after)
            after(b);
    }
}

}  // namespace

// Each lane of a four-lane pass is what a one-lane filter makes of the same
// streams, for every characteristic and response, with four different
// signals, cut-offs and peaks at once, while the slope steps through 48, 12,
// 24 and 48 dB. The cut-offs share one sweep shape (offsets and steps exact
// in float), so the joint segmentation equals each lane's own. Lane 3 sits
// out both raises of the slope: it seeds its joining stages when it runs
// again, from its own states and coefficients, exactly as a one-lane filter
// that first ran at the steeper slope then (each block begins on the
// segment grid, so the lane rejoins where every lane opens a segment).
// Lowering the slope leaves the dropped stages' states alone.
TEST(DesignFilter, FourLanesMatchOneLaneThroughSlopeChangesAndSkippedBlocks)
{
    const double rate = 44100.0;
    const int block = 256, blocks = 10;  // each block begins on the segment grid
    const size_t n = static_cast<size_t>(block * blocks);
    const int slopeOfBlock[blocks] = {3, 3, 1, 1, 2, 2, 3, 3, 3, 3};
    auto inactive = [](int l, int b) { return l == 3 && b >= 4 && b <= 6; };
    const std::vector<float> in[4] = {noise(static_cast<int>(n), 1, 0.8), square(n, 110.0, rate), noise(static_cast<int>(n), 2, 0.05),
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
            SCOPED_TRACE(testing::Message() << "k " << style->clipShapeFactor.get() << " response " << response);
            DesignFilter quad(*style, 1024, static_cast<float>(rate));
            quad.response = response;
            std::vector<float> out[4];
            float dropped[4] = {};
            const auto setUp = [&](int b, StateVariableFilter::Lanes& lanes) {
                quad.slope = slopeOfBlock[b];
                for (int l = 0; l < 4; ++l)
                    lanes.active[l] = !inactive(l, b);
            };
            runLanes(quad, in, out, cut, peak, block, setUp, [&](int b) {
                for (int l = 0; l < 4; ++l) {
                    if (b == 1)
                        dropped[l] = quad.bandState(3, l);
                    if (b == 3) {
                        EXPECT_EQ(quad.bandState(3, l), dropped[l]) << "lane " << l;
                    }
                }
            });
            for (int l = 0; l < 4; ++l) {
                DesignFilter single(*style, 1024, static_cast<float>(rate));
                single.response = response;
                double worst = 0.0;
                for (int b = 0; b < blocks; ++b) {
                    if (inactive(l, b))
                        continue;
                    const size_t o = static_cast<size_t>(b * block);
                    std::vector<float> expected(static_cast<size_t>(block));
                    single.slope = slopeOfBlock[b];
                    single.setStreamPosition(static_cast<std::uint32_t>(o));  // it skips blocks
                    single.process(in[l].data() + o, expected.data(), cut[l].data() + o, peak[l].data() + o,
                                   nullptr, block, false);
                    for (size_t i = 0; i < expected.size(); ++i) {
                        const double e = static_cast<double>(expected[i]);
                        worst = std::max(worst, std::fabs(static_cast<double>(out[l][o + i]) - e) /
                                                    std::max(1.0, std::fabs(e)));
                    }
                }
                EXPECT_LE(worst, 1e-6) << "lane " << l;
            }
        }
    }
}

// A shared pass keeps what the lanes a member leaves out hold (the states
// of a lane that ran before, and the previous point of a paired output stage
// too), and a pair of output stages keeps its lanes while it pairs up again
// (blocks 1-2) and gives them back when the filters run alone (3), pair
// other lanes (5), one is reset (6) or one runs unpaired (7): each filter
// gives exactly what it gives alone.
TEST(StateVariableFilter, SharedPassesKeepTheLanesAMemberLeavesOut)
{
    const FilterCharacteristics& list = FilterCharacteristics::shared();
    const std::vector<float> in = noise(2048, 4, 0.5), cut(128, 10.0f), peak(128, 0.5f);
    // Lanes 0 and 1 of filter a, then of b; then 0 shared, 1 alone, 2 a reset before a shared pass.
    const int blocks[8][5] = {{1, 1, 1, 1, 0}, {1, 0, 1, 0, 0}, {1, 0, 1, 0, 0}, {1, 0, 1, 0, 1},
                              {1, 0, 1, 0, 0}, {0, 1, 0, 1, 0}, {0, 1, 0, 1, 2}, {1, 1, 1, 0, 0}};
    std::vector<float> out[2][2][2];  // [shared][filter][lane]
    for (int shared = 0; shared < 2; ++shared) {
        DesignFilter a(list[2], 1024, 44100.0f), b(list[5], 1024, 44100.0f);
        for (int block = 0; block < 8; ++block) {
            StateVariableFilter::Lanes lanes[2];
            for (int u = 0; u < 2; ++u) {
                for (int l = 0; l < 2; ++l) {
                    out[shared][u][l].resize(1024);
                    lanes[u].input[l] = in.data() + l * 1024 + block * 128;
                    lanes[u].output[l] = out[shared][u][l].data() + block * 128;
                    lanes[u].cutoff[l] = cut.data();
                    lanes[u].peak[l] = peak.data();
                    lanes[u].active[l] = blocks[block][2 * u + l];
                }
            }
            if (blocks[block][4] == 2)
                a.reset();
            const StateVariableFilter::Shared members[2] = {{&a, &lanes[0]}, {&b, &lanes[1]}};
            if (shared && blocks[block][4] != 1) {
                ASSERT_TRUE(StateVariableFilter::processShared(members, 128));
            } else {
                for (const StateVariableFilter::Shared& member : members)
                    member.filter->processLanes(*member.lanes, 128);
            }
        }
    }
    for (int u = 0; u < 2; ++u)
        for (int l = 0; l < 2; ++l)
            EXPECT_EQ(out[1][u][l], out[0][u][l]) << "filter " << u << " lane " << l;
}

// Everywhere in its parameter space the filter stays finite and inside its
// bounds: the states within their clamps, and the output within what the
// clip curve can give (low-pass 10 / comp, band-pass 1 / comp: the curve
// never exceeds its argument's magnitude; high-pass the curve's largest
// value times the largest output gain), with room for the output stage's
// band limiting, which rounds a clamped, square-ish signal off with some
// overshoot (a quarter), and for the DC blocker, which after a long
// one-sided stretch swings up to twice as far. Four lanes: silence, full-scale noise, a full-scale
// square, and noise with NaN and infinity bursts, which must recover.
TEST(DesignFilter, StableAndBoundedAcrossRatesCharacteristicsSlopesAndResponses)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (double rate : {22050.0, 44100.0, 96000.0, 192000.0}) {
        const size_t n = static_cast<size_t>(rate * (rate < 50000.0 ? 1.0 : 0.4));
        std::vector<float> in[4] = {std::vector<float>(n, 0.0f), noise(static_cast<int>(n), 3, 1.0), square(n, 97.0, rate),
                                    noise(static_cast<int>(n), 3, 1.0)};
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

        int turn = 0;
        for (const DesignFilter::Style* style : allStyles()) {
            const float comp = style->gainCompensation();
            const float* table = style->clipTable().table().data();
            const float tableMax = std::fabs(*std::max_element(table, table + 8193, [](float a, float b) {
                return std::fabs(a) < std::fabs(b);
            }));
            // Every slope with every response, the slopes taking turns across
            // the characteristics and rates.
            const int first = 1 + turn++ % 3;
            for (const int slope : {first, 1 + first % 3}) {
                for (int response = 0; response < 3; ++response) {
                    DesignFilter filter(*style, 1024, static_cast<float>(rate));
                    filter.slope = slope;
                    filter.response = response;
                    std::vector<float> out[4];
                    bool statesInBounds = true;
                    runLanes(filter, in, out, cut, peak, 1024, {}, [&](int) {
                        for (int s = 0; s < StateVariableFilter::maxStages; ++s)
                            for (int l = 0; l < 4; ++l)
                                statesInBounds = statesInBounds && std::fabs(filter.bandState(s, l)) <= 1.0f &&
                                                 std::fabs(filter.lowState(s, l)) <= 10.0f;
                    });
                    const float bound =
                        (response == 0 ? 10.0f / comp : response == 1 ? tableMax / (0.1f * comp) : 1.0f / comp) *
                        2.5f;
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

// A NaN, or an overload near the highest cut-offs, is undone at the end of
// its segment: the lane is reset and then plays what a fresh filter plays
// (but for the small offset its DC blocker still holds). The overload may
// leave the first stage on its bounds (low -10, band +1 or mirrored), where
// the cubic term brings it back after every sample: held there it would
// give a constant, which the output stage takes out, and stay silent.
TEST(DesignFilter, ANaNOrAnOverloadIsUndoneAtTheEndOfItsSegment)
{
    const size_t n = 16384;
    const std::vector<float> quiet = noise(static_cast<int>(n), 5, 0.25), cut(n, 16.2f), peak(n, 0.86f);
    const struct {
        float level;
        int last, restart;
    } damages[] = {{std::numeric_limits<float>::quiet_NaN(), 110, 128}, {4.0f, 164, 192}, {-8.0f, 164, 192}, {2000.0f, 164, 192}};
    for (const auto& d : damages) {
        std::vector<float> in = quiet, out(n), fresh(n);
        std::fill(in.begin() + 100, in.begin() + d.last, d.level);
        DesignFilter filter(FilterCharacteristics::shared()[0], 1024, 88200.0f);
        DesignFilter other(filter.characteristic(), 1024, 88200.0f);
        filter.slope = 2;
        other.slope = 2;
        filter.process(in.data(), out.data(), cut.data(), peak.data(), nullptr, static_cast<int>(n), false);
        other.process(quiet.data() + d.restart, fresh.data(), cut.data(), peak.data(), nullptr,
                      static_cast<int>(n) - d.restart, false);
        float worst = 0.0f;
        for (size_t i = n / 2; i < n; ++i)
            worst = std::max(worst, std::fabs(out[i] - fresh[i - static_cast<size_t>(d.restart)]));
        EXPECT_LT(worst, 1e-3f) << d.level;
    }
}

// Switching the characteristic keeps the states; changing one of the
// filter's own settings resets them.
TEST(DesignFilter, CharacteristicSwitchKeepsStatesAndPropertyChangeResets)
{
    const FilterCharacteristics& list = FilterCharacteristics::shared();
    DesignFilter filter(list, 1024, 44100.0f);
    std::vector<float> in(256, 0.5f), out(256), cut(256, 9.0f), peak(256, 0.5f);
    filter.process(in.data(), out.data(), cut.data(), peak.data(), nullptr, 256, true);
    const float low = filter.lowState(0, 0);
    filter.setCharacteristic(list[3]);
    EXPECT_EQ(filter.lowState(0, 0), low);
    filter.drive = 3.0f;
    EXPECT_EQ(filter.lowState(0, 0), 0.0f);
}

namespace {

// Runs `in` through a one-lane filter in blocks of 256 samples; each
// (position, slope) pair sets the slope from that sample on, ending the
// block there.
template <class Filter>
std::vector<float> renderWithSlopes(Filter& filter, const std::vector<float>& in, float cutoff, float peak,
                                    std::vector<std::pair<size_t, int>> slopes)
{
    const size_t n = in.size();
    std::vector<float> out(n);
    const std::vector<float> cut(256, cutoff), pk(256, peak);
    slopes.emplace_back(n, 0);
    size_t next = 0;
    for (size_t o = 0; o < n;) {
        while (slopes[next].first <= o)
            filter.slope = static_cast<std::remove_cvref_t<decltype(filter.slope.get())>>(slopes[next++].second);
        const size_t end = std::min({n, (o / 256 + 1) * 256, slopes[next].first});
        filter.process(in.data() + o, out.data() + o, cut.data(), pk.data(), nullptr,
                       static_cast<int>(end - o), false);
        o = end;
    }
    return out;
}

}  // namespace

// Raising the slope while a sine plays: the stages that join the cascade
// are seeded so that their output continues that of the stage before them,
// in every characteristic and in the clean filter's sections alike; the
// output goes on from where it was and settles onto the steeper response.
// Stages that start from silence, or from states left from an earlier time
// at the steeper slope, make the output jump by a good part of its amplitude.
//
// Each response gets a sine it passes: three octaves below the cut-off for
// low-pass, three above for high-pass, at the centre for band-pass. Band-pass
// loses level with every stage, so its output fades from the old level to
// the new one. Hence the reference: the largest step of the filter run at
// either slope all along. The margin: the new cascade lags (low-pass) or
// leads (high-pass) the old one by some 14 degrees per stage at three
// octaves, and the joining stages catch up within a few samples, steepening
// a few steps by up to a quarter. Faults show up as steps three to
// twenty-five times the reference.
TEST(DesignFilter, RaisingTheSlopeContinuesTheOutputWithoutAJump)
{
    const float rate = 44100.0f;
    const size_t n = 6000, at = 4096;
    const float toneHz[3] = {500.0f, 800.0f, 1000.0f};
    const float cutoff[3] = {std::log2(4000.0f), std::log2(100.0f), std::log2(1000.0f)};
    const std::pair<int, int> raises[3] = {{1, 2}, {2, 3}, {1, 3}};
    std::vector<const DesignFilter::Style*> units = allStyles();
    units.push_back(nullptr);  // the clean filter
    for (const DesignFilter::Style* style : units) {
        for (int response = 0; response < 3; ++response) {
            for (float amplitude : {0.005f, 0.5f}) {
                for (float peak : {0.0f, 0.6f}) {
                    const auto in = sine(static_cast<int>(n), toneHz[response], amplitude, rate);
                    auto render = [&](std::vector<std::pair<size_t, int>> slopes) {
                        if (!style) {
                            wave::Graph graph(rate);
                            BiQuadFilter clean(graph);
                            clean.response = static_cast<GenericFilter::Response>(response);
                            return renderWithSlopes(clean, in, cutoff[response], peak, std::move(slopes));
                        }
                        DesignFilter filter(*style, 1024, rate);
                        filter.response = response;
                        return renderWithSlopes(filter, in, cutoff[response], peak, std::move(slopes));
                    };
                    for (const auto& [from, to] : raises) {
                        SCOPED_TRACE(testing::Message()
                                     << "k " << (style ? style->clipShapeFactor.get() : -1.0f) << " response " << response
                                     << " amplitude " << amplitude << " peak " << peak << " slope " << from
                                     << " -> " << to);
                        const float allowed = 1.3f * std::max(largestStep(render({{0, from}}), 2048, n),
                                                              largestStep(render({{0, to}}), 2048, n));
                        // Raised at a block boundary and inside a block; the
                        // joining stages never ran, or ran at the steeper
                        // slope until 1000 samples earlier (the step down
                        // there is not the subject here).
                        for (size_t when : {at, at + 77}) {
                            const auto fresh = render({{0, from}, {when, to}});
                            const auto stale = render({{0, to}, {when - 1000, from}, {when, to}});
                            EXPECT_LE(largestStep(fresh, 2048, n), allowed) << "at " << when;
                            EXPECT_LE(largestStep(stale, when, n), allowed) << "at " << when << ", stale";
                        }
                    }
                }
            }
        }
    }
}

namespace {

struct Ringing {
    std::vector<float> output;
    float largestBand = 0.0f;    // the first stage's band-pass state
    float largestOutput = 0.0f;  // after the settling time
};

// An impulse into the filter at Peak 1, then silence: what is left ringing
// after `settle` samples is the filter's own oscillation.
Ringing ring(const DesignFilter::Style& style, float rate, float hz, int response, int slope, std::size_t settle,
             std::size_t length)
{
    DesignFilter filter(style, 1024, rate);
    filter.response = response;
    filter.slope = slope;
    std::vector<float> in(length, 0.0f), cut(1024, std::log2(hz)), peak(1024, 1.0f);
    in[0] = 1.0f;
    Ringing r;
    r.output.resize(length);
    for (std::size_t o = 0; o < length; o += 1024) {
        const int frames = static_cast<int>(std::min<std::size_t>(1024, length - o));
        filter.process(in.data() + o, r.output.data() + o, cut.data(), peak.data(), nullptr, frames, true);
        r.largestBand = std::max(r.largestBand, std::fabs(filter.bandState(0, 0)));
    }
    for (std::size_t i = settle; i < length; ++i)
        r.largestOutput = std::max(r.largestOutput, std::fabs(r.output[i]));
    return r;
}

// The frequency of the strongest component between 0.7 and 1.4 times
// `near` (above the octave below and below the second harmonic), placed
// between the bins by a parabola through the log amplitudes.
double strongestNear(const std::vector<float>& x, std::size_t from, std::size_t n, double rate, double near)
{
    const std::vector<double> m = spectrum::amplitudes(x, from, n);
    const double bin = rate / static_cast<double>(n);
    std::size_t best = static_cast<std::size_t>(0.7 * near / bin);
    for (std::size_t k = best; k <= static_cast<std::size_t>(1.4 * near / bin); ++k)
        best = m[k] > m[best] ? k : best;
    const double a = std::log(m[best - 1]), b = std::log(m[best]), c = std::log(m[best + 1]);
    return (static_cast<double>(best) + 0.5 * (a - c) / (a - 2.0 * b + c)) * bin;
}

}  // namespace

// Past a resonance amount of 1 the filter sings by itself, and it sings at
// the cut-off: for every characteristic, at 250 Hz, 1 kHz and 4 kHz and at
// 44.1, 48 and 96 kHz, what an impulse leaves ringing at Peak 1 has its
// strongest component within 50 cents of the cut-off (FFT). Left alone, the
// loop's bound and saturation pulled it up to 400 cents flat (Extreme) and
// 50 cents (Metal, Hard at 4 kHz). The pitch is the first stage's alone, so
// responses and slopes take turns across the cases.
//
// Where the table asks for self-oscillation (amount above 1) it happens,
// loudly, and stays bounded: the band-pass state within +-1, and the
// band-pass output, which that state drives, within 1 / gain compensation
// (the clip curve never exceeds its argument).
TEST(SelfOscillation, SingsAtTheCutOffWithinItsBounds)
{
    const FilterCharacteristics& list = FilterCharacteristics::shared();
    int singing = 0;
    int turn = 0;
    for (int index = 0; index < list.size(); ++index) {
        const DesignFilter::Style& style = list[index];
        for (const float rate : {44100.0f, 48000.0f, 96000.0f}) {
            const std::size_t n = rate > 50000.0f ? 16384 : 8192;
            const std::size_t settle = static_cast<std::size_t>(rate / 4.0f);
            for (const float hz : {250.0f, 1000.0f, 4000.0f}) {
                const int response = turn % 3;
                const int slope = 1 + turn / 3 % 3;
                ++turn;
                SCOPED_TRACE(testing::Message() << "characteristic " << index << ", " << hz << " Hz at " << rate
                                                << ", response " << response << ", slope " << slope);
                const Ringing r = ring(style, rate, hz, response, slope, settle, settle + n);
                double energy = 0.0;
                for (std::size_t i = settle; i < settle + n; ++i)
                    energy += static_cast<double>(r.output[i]) * static_cast<double>(r.output[i]);
                const double level = std::sqrt(energy / static_cast<double>(n));

                EXPECT_LE(r.largestBand, 1.0f);
                if (response == 2) {
                    EXPECT_LE(r.largestOutput, 1.0001f / style.gainCompensation());
                }
                if (style.getSettings(1.0f, std::log2(hz)).resonanceAmount > 1.02f) {
                    EXPECT_GT(level, 0.05);
                }
                if (level > 0.01) {
                    ++singing;
                    const double cents = 1200.0 * std::log2(strongestNear(r.output, settle, n, rate, hz) / static_cast<double>(hz));
                    EXPECT_LE(std::fabs(cents), 50.0) << "level " << level;
                }
            }
        }
    }
    // One, Raw, Hard, Extreme and Metal at all three cut-offs, Tube at two.
    EXPECT_GE(singing, 9 * 5 + 6) << singing;
}

namespace {

using Complex = std::complex<double>;
using Matrix = std::array<std::array<Complex, 2>, 2>;
using Vector = std::array<Complex, 2>;

Matrix multiply(const Matrix& a, const Matrix& b)
{
    Matrix m{};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            m[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j];
    return m;
}

Vector apply(const Matrix& a, const Vector& v)
{
    return {a[0][0] * v[0] + a[0][1] * v[1], a[1][0] * v[0] + a[1][1] * v[1]};
}

// The linear filter behind one stage, derived independently of the code:
// one pass of the loop maps (low, band) by
//   low' = low + f band,  band' = band + f (u - q band - low')
// i.e. s' = A s + B u with A = [[1, f], [-f, 1 - f q - f^2]], B = [0, f].
// Three passes per sample with u held give s[n+1] = A^3 s[n] + M u[n],
// M = (A^2 + A + I) B. The low and band taps read s[n+1], so
//   H(z) = z C (z I - A^3)^-1 M.
// The high tap is u - q band2 - low3 = u - [1, q + f] s2 with
// s2 = A^2 s[n] + (A + I) B u[n] the state after two passes.
Complex stageResponse(double f, double q, int tap, double omega)
{
    const Matrix a = {{{1.0, f}, {-f, 1.0 - f * q - f * f}}};
    const Matrix a2 = multiply(a, a);
    const Matrix a3 = multiply(a2, a);
    const Vector b = {0.0, f};
    const Vector ab = apply(a, b);
    const Vector a2b = apply(a2, b);
    const Vector m = {b[0] + ab[0] + a2b[0], b[1] + ab[1] + a2b[1]};
    const Complex z = std::polar(1.0, omega);
    // (z I - A^3)^-1 M, by the 2 x 2 inverse.
    const Complex p00 = z - a3[0][0], p01 = -a3[0][1], p10 = -a3[1][0], p11 = z - a3[1][1];
    const Complex det = p00 * p11 - p01 * p10;
    const Vector s = {(p11 * m[0] - p01 * m[1]) / det, (-p10 * m[0] + p00 * m[1]) / det};
    if (tap == 0)
        return z * s[0];
    if (tap == 2)
        return z * s[1];
    const Vector as = apply(a2, s);
    const Vector step = {b[0] + ab[0], b[1] + ab[1]};
    return 1.0 - (as[0] + step[0]) - (q + f) * (as[1] + step[1]);
}

// Amplitude of the component at `hz`, by projection over whole cycles.
double amplitudeAt(const std::vector<float>& y, int from, double hz, double rate)
{
    double s = 0.0, c = 0.0;
    for (size_t i = static_cast<size_t>(from); i < y.size(); ++i) {
        const double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        s += static_cast<double>(y[i]) * std::sin(phase);
        c += static_cast<double>(y[i]) * std::cos(phase);
    }
    return 2.0 * std::hypot(s, c) / static_cast<double>(y.size() - static_cast<size_t>(from));
}

std::vector<float> run(StateVariableFilter& filter, const std::vector<float>& in, float cutoff, float peak,
                       int block = 256)
{
    std::vector<float> out(in.size());
    const std::vector<float> cut(static_cast<size_t>(block), cutoff);
    const std::vector<float> pk(static_cast<size_t>(block), peak);
    for (size_t o = 0; o < in.size(); o += static_cast<size_t>(block)) {
        const int n = static_cast<int>(std::min(in.size() - o, static_cast<size_t>(block)));
        filter.process(in.data() + o, out.data() + o, cut.data(), pk.data(), nullptr, n, false);
    }
    return out;
}

}  // namespace

// The output stage, seen from a quiet signal: at four times the rate
// neighbouring arguments lie so close that the curve's mean between them is
// the mean of its two values, a two-sample average there, |cos(w / 8)| at
// the base rate's w; the elliptic half-band filters around it are flat to
// 1e-6, the short one on the way down, (-1, 0, 9, 16, 9, 0, -1) / 32 at the
// fourfold rate, is (8 + 9 cos(w / 4) - cos(3 w / 4)) / 16; and the 5 Hz DC
// blocker (1 - 1/z) / (1 - R/z) follows.
double outputStageResponse(double omega, double rate)
{
    const double r = std::exp(-2.0 * std::numbers::pi * 5.0 / rate);
    const Complex z = std::polar(1.0, omega);
    const double shortFilter = (8.0 + 9.0 * std::cos(omega / 4.0) - std::cos(0.75 * omega)) / 16.0;
    return std::fabs(std::cos(omega / 8.0)) * shortFilter * std::abs((1.0 - 1.0 / z) / (1.0 - r / z));
}

// At peak 0 the plain filter is a linear state-variable filter (amount 0,
// damping 2) followed by the output stage at drive 0.1 and gain 10. With
// test tones of amplitude 0.25 the clip curve sees at most 0.025, where atan
// departs from a straight line by under 0.03 % (x^2/3) and the table's
// chords by under 0.003 %; the tabulated f differs from 2 sin(pi fc / 3 fs)
// by under 0.001 % and float rounding in the loop adds a few 1e-6. A
// tolerance of 0.01 dB (0.12 %) covers all of that with margin, while any
// fault in the recurrence (a missing pass, f computed for the plain rate, a
// wrong tap) or in the output stage moves the response by far more.
TEST(StateVariableFilter, PlainLowBandAndHighPassFollowTheOversampledRecurrence)
{
    for (double rate : {44100.0, 96000.0}) {
        for (double fc : {150.0, 1000.0, 6000.0}) {
            const double f = 2.0 * std::sin(std::numbers::pi * fc / (3.0 * rate));
            const double q = 2.0;  // amount 0; the stability limit 2/f - f is above 2 here
            for (int tap = 0; tap < 3; ++tap) {
                for (double ratio : {0.25, 1.0, 2.5}) {
                    // A whole number of cycles in the measured second.
                    const double hz = std::round(fc * ratio);
                    StateVariableFilter filter(1024, static_cast<float>(rate));
                    filter.response = tap;
                    const std::vector<float> in = sine(static_cast<int>(rate) + 8192, hz, 0.25, rate);
                    const std::vector<float> out = run(filter, in, static_cast<float>(std::log2(fc)), 0.0f);
                    const double measured = 20.0 * std::log10(amplitudeAt(out, 8192, hz, rate) / 0.25);
                    const double omega = 2.0 * std::numbers::pi * hz / rate;
                    const double expected =
                        20.0 * std::log10(std::abs(stageResponse(f, q, tap, omega)) * outputStageResponse(omega, rate));
                    EXPECT_NEAR(measured, expected, 0.01)
                        << "rate " << rate << " fc " << fc << " tap " << tap << " tone " << hz;
                }
            }
        }
    }
}

// At peak 0 every further stage is the same linear section, so the slopes
// 12, 24 and 48 dB, with one, two and four stages, have |H|^S; the states
// of the stages not in use never move.
TEST(StateVariableFilter, SlopesRunOneTwoOrFourStages)
{
    const double rate = 48000.0, fc = 1200.0, hz = 1800.0;
    const double f = 2.0 * std::sin(std::numbers::pi * fc / (3.0 * rate));
    const double one = std::abs(stageResponse(f, 2.0, 0, 2.0 * std::numbers::pi * hz / rate));
    const std::vector<float> in = sine(static_cast<int>(rate) + 8192, hz, 0.25, rate);
    const int used[4] = {0, 1, 2, 4};
    for (int slope = 1; slope <= 3; ++slope) {
        StateVariableFilter filter(1024, static_cast<float>(rate));
        filter.slope = slope;
        const std::vector<float> out = run(filter, in, static_cast<float>(std::log2(fc)), 0.0f);
        const double stages = used[slope];
        EXPECT_NEAR(20.0 * std::log10(amplitudeAt(out, 8192, hz, rate) / 0.25), stages * 20.0 * std::log10(one), 0.02)
            << slope;
        for (int s = 0; s < StateVariableFilter::maxStages; ++s)
            EXPECT_EQ(filter.lowState(s, 0) != 0.0f, s < stages) << slope << " stage " << s;
    }
}

// A segment opens at every 32nd sample of the stream (that the block size
// cannot change the output is the effect's block-size test) and where an
// active lane's cut-off has moved more than a tenth of an octave from the
// segment's start; an inactive lane's move opens none.
TEST(StateVariableFilter, SegmentsOpenOnTheGridAndWhereTheCutOffMoves)
{
    StateVariableFilter filter(1024, 44100.0f);
    std::vector<float> in(100, 0.1f), out(100), cut(100, 10.0f), peak(100, 0.5f), ramp(100);
    const std::vector<float> zero(100, 0.0f);
    auto starts = [&] {
        std::vector<int> s;
        for (int k = 0; k < filter.lastSegmentCount(); ++k)
            s.push_back(filter.lastSegment(k).start);
        return s;
    };
    // 0.06 octave per sample: the move passes 0.1 at every second sample;
    // the grid points 0, 32 and 64 fall on even samples.
    for (int i = 0; i < 100; ++i)
        ramp[static_cast<size_t>(i)] = 8.0f + 0.06f * static_cast<float>(i);
    filter.process(in.data(), out.data(), ramp.data(), peak.data(), nullptr, 100, false);
    ASSERT_EQ(filter.lastSegmentCount(), 50);
    for (int k = 0; k < 50; ++k)
        EXPECT_EQ(filter.lastSegment(k).start, 2 * k);

    // Jointly over lanes (stream 100 on: grid points at 28, 60, 92).
    StateVariableFilter::Lanes lanes;
    std::vector<float> outs[4];
    for (int l = 0; l < 4; ++l) {
        outs[l].resize(100);
        lanes.input[l] = in.data();
        lanes.output[l] = outs[l].data();
        lanes.cutoff[l] = cut.data();
        lanes.peak[l] = peak.data();
        lanes.active[l] = l != 3;
    }
    lanes.cutoff[3] = ramp.data();
    filter.processLanes(lanes, 100);
    EXPECT_EQ(starts(), (std::vector<int>{0, 28, 60, 92}));
    lanes.cutoff[1] = ramp.data();
    filter.processLanes(lanes, 100);
    EXPECT_EQ(filter.lastSegmentCount(), 50);
    // Steady streams carry the segment in force on; a lane whose value changed,
    // or back from sitting a block out, gets its coefficients at once.
    lanes.cutoff[1] = cut.data();
    std::fill_n(lanes.cutoffConstant, 4, true);
    std::fill_n(lanes.peakConstant, 4, true);
    filter.processLanes(lanes, 100);
    const float f1 = filter.lastSegment(0).f[1];
    EXPECT_EQ(f1, filter.lastSegment(0).f[0]);
    lanes.active[1] = false;
    lanes.peak[0] = zero.data();  // lane 0 moves on meanwhile
    filter.processLanes(lanes, 100);
    lanes.active[1] = true;
    filter.processLanes(lanes, 100);
    EXPECT_EQ(filter.lastSegment(0).f[1], f1);

    // A cut-off at or above the sample rate gives f = 0.95 and the damping
    // the loop's stability allows there.
    StateVariableFilter fresh(1024, 44100.0f);
    std::vector<float> high(100, std::log2(44100.0f) + 0.5f);
    fresh.process(in.data(), out.data(), high.data(), zero.data(), nullptr, 100, true);
    EXPECT_FLOAT_EQ(fresh.lastSegment(0).f[0], 0.95f);
    EXPECT_NEAR(fresh.lastSegment(0).q[0][0], 2.0f / 0.95f - 0.95f, 1e-3f);  // the stability limit
}

// A cut-off modulated far outside the audio band holds the coefficient of
// the table's nearest end: closed far below, open far above. (The tables
// wrap their index, so an argument beyond the domain would read the other
// end: a filter pushed 35 octaves down would open wide.) The same holds for
// resonance amounts beyond the damping table.
TEST(StateVariableFilter, CoefficientsHoldBeyondTheTablesDomains)
{
    const float rate = 44100.0f;
    std::vector<float> in(64, 0.1f), out(64), peak(64, 0.0f);
    auto coefficientAt = [&](float cutoff) {
        StateVariableFilter filter(1024, rate);
        const std::vector<float> cut(64, cutoff);
        filter.process(in.data(), out.data(), cut.data(), peak.data(), nullptr, 64, true);
        return filter.lastSegment(0).f[0];
    };
    const float lowest = coefficientAt(std::log2(rate) - 30.0f);
    EXPECT_LT(lowest, 1e-8f);
    EXPECT_EQ(coefficientAt(std::log2(rate) - 45.0f), lowest);
    EXPECT_EQ(coefficientAt(-1e30f), lowest);
    EXPECT_EQ(coefficientAt(std::log2(rate) + 27.0f), 0.95f);
    EXPECT_EQ(coefficientAt(1e30f), 0.95f);
    EXPECT_EQ(coefficientAt(std::numeric_limits<float>::infinity()), 0.95f);
    EXPECT_EQ(coefficientAt(-std::numeric_limits<float>::infinity()), lowest);
    EXPECT_EQ(coefficientAt(std::numeric_limits<float>::quiet_NaN()), coefficientAt(0.0f));

    auto dampingFor = [&](float amount) {
        DesignFilter::Style style("", 1.0f);
        for (int r = 0; r < 11; ++r)
            for (int c = 0; c < 11; ++c)
                style.resonanceTable.setValue(r, c, amount);
        style.resonanceTable.recomputeDifferences();
        DesignFilter filter(style, 1024, rate);
        const std::vector<float> cut(64, 8.0f);
        filter.process(in.data(), out.data(), cut.data(), peak.data(), nullptr, 64, true);
        return filter.lastSegment(0).q[0][0];
    };
    EXPECT_FLOAT_EQ(dampingFor(5.0f), 2.0f * (1.0f - std::sqrt(std::sqrt(5.0f))));
    EXPECT_EQ(dampingFor(9.0f), dampingFor(5.0f));
    EXPECT_EQ(dampingFor(-1.0f), 2.0f);
}

// The "Clean" filter against biquads designed by sox, which are independent
// of our formulas: its low-pass and high-pass at peak 0 are Butterworth
// sections (Q = 1/sqrt(2)), its band-pass is the constant-0-dB band-pass
// with the bandwidth term alpha = tan((1 - peak / 2) pi fc / fs).
namespace {

constexpr float rate = 44100.0f;

std::vector<float> clean(const std::vector<float>& in, int response, int slope, float frequency, float peak)
{
    wave::Graph graph(rate);
    BiQuadFilter filter(graph);
    filter.response = static_cast<GenericFilter::Response>(response);
    filter.slope = static_cast<GenericFilter::Slope>(slope);
    const std::vector<float> cutoff(in.size(), std::log2(frequency)), peaks(in.size(), peak);
    std::vector<float> out(in.size());
    filter.process(in.data(), out.data(), cutoff.data(), peaks.data(), nullptr, static_cast<int>(in.size()), true);
    return out;
}

} // namespace

// Each case's residual against sox stays below -80 dB:
// - low-pass and high-pass at peak 0 are Butterworth sections, down to 30 Hz
//   too, where a single-precision direct form would already be off by
//   -58 dB (the sections run as integrator loops, whose coefficients keep
//   their precision at low cut-offs);
// - steeper slopes cascade sections of the same cut-off, and only the first
//   takes the peak (1/Q falls to 0.02: Q 50) while the others stay
//   Butterworth, so the resonance is as high at 48 dB as at 12 dB instead of
//   multiplying with the slope (sox passes samples between its effects as
//   integers clipped at full scale, so that case goes in at a tenth, below
//   what the resonance, +34 dB, could push past it);
// - the band-pass's bandwidth halves from peak 0 to 1 (sox takes Q with
//   alpha = sin(w0) / (2 Q)).
TEST(CleanAgainstSox, MatchesSoxBiquads)
{
    // Two seconds of white noise at -12 dBFS, made by sox; raw 32-bit floats throughout.
    const testsupport::ScratchFolder dir;
    auto sox = [&](const std::string& arguments) {
        const testsupport::Outcome run = testsupport::runCommand(std::string(OSTRAND_SOX) + " " + arguments);
        EXPECT_EQ(run.status, 0) << arguments << "\n" << run.output;
        const std::string bytes = testsupport::readFile(dir.path("out.f32"));
        std::vector<float> samples(bytes.size() / sizeof(float));
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
        return samples;
    };
    const std::string raw = "-t f32 -r 44100 -c 1 ";
    const std::vector<float> noise = sox("-n " + raw + dir / "out.f32" + " synth 2 whitenoise vol 0.25");
    ASSERT_EQ(noise.size(), 88200u);
    std::filesystem::rename(dir.path("out.f32"), dir.path("noise.f32"));

    struct Case {
        int response, slope;
        float hz, peak;
        std::string effects;
        float level = 1.0f;
    };
    const std::string butterworth = " 0.7071067811865476q ";
    auto times = [](int n, const std::string& effect) {
        std::string all;
        for (int i = 0; i < n; ++i)
            all += effect;
        return all;
    };
    auto bandPassQ = [](float peak) {
        const double w = std::numbers::pi * 1500.0 / 44100.0;
        const double alpha = std::tan((1.0 - 0.5 * static_cast<double>(peak)) * w);
        return std::to_string(std::sin(2.0 * w) / (2.0 * alpha)) + "q";
    };
    std::vector<Case> cases;
    for (const int hz : {30, 100, 300, 1000, 8000}) {
        cases.push_back({GenericFilter::lowPass, 1, static_cast<float>(hz), 0.0f, "lowpass " + std::to_string(hz) + butterworth});
        cases.push_back({GenericFilter::highPass, 1, static_cast<float>(hz), 0.0f, "highpass " + std::to_string(hz) + butterworth});
    }
    cases.push_back({GenericFilter::lowPass, 2, 2000.0f, 0.0f, times(2, "lowpass 2000" + butterworth)});
    cases.push_back({GenericFilter::highPass, 3, 300.0f, 0.0f, times(4, "highpass 300" + butterworth)});
    cases.push_back({GenericFilter::lowPass, 3, 1000.0f, 1.0f, "vol 0.1 lowpass 1000 50q " + times(3, "lowpass 1000" + butterworth), 0.1f});
    for (const float p : {0.0f, 1.0f})
        cases.push_back({GenericFilter::bandPass, 1, 1500.0f, p, "bandpass 1500 " + bandPassQ(p)});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.effects);
        const std::vector<float> reference = sox("-D " + raw + dir / "noise.f32" + " " + raw + dir / "out.f32" + " " + c.effects);
        ASSERT_EQ(reference.size(), noise.size());
        const std::vector<float> ours = clean(noise, c.response, c.slope, c.hz, c.peak);
        double error = 0.0, energy = 0.0;
        for (std::size_t i = 0; i < reference.size(); ++i) {
            const double r = reference[i], d = static_cast<double>(ours[i] * c.level) - r;
            error += d * d;
            energy += r * r;
        }
        EXPECT_LT(10.0 * std::log10(error / energy), -80.0);
    }
}

TEST(BiQuadFilter, DesignHoldsTheCutOffWithinOneHertzAndTheNyquistLimit)
{
    auto same = [](const BiQuadFilter::Coefficients& a, const BiQuadFilter::Coefficients& b) {
        return a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2 && a.a1 == b.a1 && a.a2 == b.a2;
    };
    for (int response = 0; response < 3; ++response) {
        EXPECT_TRUE(same(BiQuadFilter::design(response, -3.0f, 0.5f, rate),
                         BiQuadFilter::design(response, 0.0f, 0.5f, rate)));
        EXPECT_TRUE(same(BiQuadFilter::design(response, 20.0f, 0.5f, rate),
                         BiQuadFilter::design(response, 16.0f, 0.5f, rate)));
        const auto limit = BiQuadFilter::design(response, std::log2(0.49f * rate), 0.5f, rate);
        const auto above = BiQuadFilter::design(response, 20.0f, 0.5f, rate);
        EXPECT_NEAR(limit.a1, above.a1, 1e-4f);
        EXPECT_NEAR(limit.b0, above.b0, 1e-4f);
    }
    // At the cut-off a second-order section has gain Q: 1/sqrt(2) at peak 0,
    // 1/0.02 = 50 at peak 1.
    for (const auto& [p, q] : {std::pair{0.0f, 1.0 / std::numbers::sqrt2}, std::pair{1.0f, 50.0}}) {
        const auto c = BiQuadFilter::design(GenericFilter::lowPass, std::log2(1000.0f), p, rate);
        const std::complex<double> z = std::polar(1.0, -2.0 * std::numbers::pi * 1000.0 / 44100.0);
        const std::complex<double> h =
            (static_cast<double>(c.b0) + static_cast<double>(c.b1) * z + static_cast<double>(c.b2) * z * z) /
            (1.0 + static_cast<double>(c.a1) * z + static_cast<double>(c.a2) * z * z);
        EXPECT_NEAR(std::abs(h), q, q * 1e-4) << p;
    }
}

TEST(BiQuadFilter, RedesignsEveryThirtyTwoSamplesOrOnATenthOfAnOctave)
{
    wave::Graph graph(rate);
    const auto input = sine(256, 700.0f, 0.5f);
    const float c0 = std::log2(2000.0f);

    // Filtered with a constant cut-off for the first `first` samples, then with `later`.
    auto twoPart = [&](int first, float later) {
        BiQuadFilter filter(graph);
        std::vector<float> out(256);
        const std::vector<float> a(256, c0), b(256, later), p(256, 0.3f);
        filter.process(input.data(), out.data(), a.data(), p.data(), nullptr, first, true);
        filter.process(input.data() + first, out.data() + first, b.data(), p.data(), nullptr, 256 - first,
                       true);
        return out;
    };
    for (const auto& [move, redesignAt] : {std::pair{0.05f, 32}, std::pair{0.2f, 5}}) {
        SCOPED_TRACE(move);
        BiQuadFilter filter(graph);
        std::vector<float> cutoff(256, c0 + move);
        std::fill_n(cutoff.begin(), 5, c0);
        const std::vector<float> p(256, 0.3f);
        std::vector<float> out(256);
        filter.process(input.data(), out.data(), cutoff.data(), p.data(), nullptr, 256, false);
        EXPECT_EQ(out, twoPart(redesignAt, c0 + move));
    }
}

TEST(BiQuadFilter, RecoversFromANonFiniteInput)
{
    wave::Graph graph(rate);
    BiQuadFilter filter(graph);
    std::vector<float> x = sine(512, 440.0f, 0.5f);
    x[100] = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> c(512, 10.0f), p(512, 0.0f);
    std::vector<float> out(512);
    filter.process(x.data(), out.data(), c.data(), p.data(), nullptr, 256, true);
    filter.process(x.data() + 256, out.data() + 256, c.data(), p.data(), nullptr, 256, true);
    // The states are checked every 32 samples: from the next check on, the
    // filter is a fresh one.
    BiQuadFilter fresh(graph);
    std::vector<float> restarted(512 - 128);
    fresh.process(x.data() + 128, restarted.data(), c.data(), p.data(), nullptr, 512 - 128, true);
    for (std::size_t i = 128; i < 512; ++i)
        ASSERT_EQ(out[i], restarted[i - 128]) << i;
}

TEST(BiQuadFilter, ANonFinitePeakOrCutOffDoesNotStickInTheDesign)
{
    // A NaN peak (for instance from a silence detector that saw a NaN) is
    // designed as peak 0; when a real peak follows at the same cut-off, the
    // sections must take it. A sine at the cut-off shows the peak: the
    // section's gain there is Q, 7 at peak 0.9 and 0.7 at peak 0.
    wave::Graph graph(rate);
    BiQuadFilter filter(graph);
    const int n = 8192;
    const std::vector<float> x = sine(n, 1000.0f, 0.1f);
    const std::vector<float> c(n, std::log2(1000.0f));
    std::vector<float> p(n, 0.9f), out(n);
    std::fill_n(p.begin(), 256, std::numeric_limits<float>::quiet_NaN());
    for (int at = 0; at < n; at += 256)
        filter.process(x.data() + at, out.data() + at, c.data() + at, p.data() + at, nullptr, 256, true);
    float late = 0.0f;
    for (int i = n / 2; i < n; ++i)
        late = std::max(late, std::fabs(out[static_cast<std::size_t>(i)]));
    EXPECT_NEAR(late, 0.1f / (std::numbers::sqrt2_v<float> - (std::numbers::sqrt2_v<float> - 0.02f) * 0.9f),
                0.02f);

    // A non-finite cut-off is designed like cut-off 0 (1 Hz) or the top limit.
    auto run = [&](float cutoff) {
        BiQuadFilter f(graph);
        const std::vector<float> cut(512, cutoff), zero(512, 0.0f);
        std::vector<float> y(512);
        f.process(x.data(), y.data(), cut.data(), zero.data(), nullptr, 512, false);
        return y;
    };
    EXPECT_EQ(run(std::numeric_limits<float>::quiet_NaN()), run(0.0f));
    EXPECT_EQ(run(-std::numeric_limits<float>::infinity()), run(-5.0f));
    EXPECT_EQ(run(std::numeric_limits<float>::infinity()), run(30.0f));
}

TEST(BiQuadFilter, ASquareWaveOnTheCutOffDoesNotOvershoot)
{
    // A square-wave LFO throws the cut-off between 2.6 kHz and 34 Hz (over six
    // octaves) in one sample. Whatever the filter holds at the jump must go on
    // from the signal as it was: the output may not rise above what the
    // filter gives at either cut-off held still.
    constexpr int length = 44100;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> spread(-0.5f, 0.5f);
    std::vector<float> noise(length);
    for (float& v : noise)
        v = spread(random);
    const float high = std::log2(2600.0f), low = std::log2(34.0f);
    std::vector<float> square(length);
    for (int i = 0; i < length; ++i)
        square[static_cast<std::size_t>(i)] = (i / 2205) % 2 ? low : high; // 10 Hz
    auto largest = [&](int response, int slope, float peak, const std::vector<float>& cutoff) {
        wave::Graph graph(rate);
        BiQuadFilter filter(graph);
        filter.response = static_cast<GenericFilter::Response>(response);
        filter.slope = static_cast<GenericFilter::Slope>(slope);
        const std::vector<float> p(length, peak);
        std::vector<float> out(length);
        for (int at = 0; at < length; at += 256) {
            const int n = std::min(256, length - at);
            filter.process(noise.data() + at, out.data() + at, cutoff.data() + at, p.data() + at, nullptr, n,
                           false);
        }
        float y = 0.0f;
        for (int i = 4410; i < length; ++i) // past the start-up of the held filters
            y = std::max(y, std::fabs(out[static_cast<std::size_t>(i)]));
        return y;
    };
    for (int response = 0; response < 3; ++response) {
        for (int slope = 1; slope <= 3; ++slope) {
            for (const float peak : {0.0f, 0.5f}) {
                SCOPED_TRACE(testing::Message()
                             << "response " << response << " slope " << slope << " peak " << peak);
                const float held = std::max(largest(response, slope, peak, std::vector<float>(length, high)),
                                            largest(response, slope, peak, std::vector<float>(length, low)));
                EXPECT_LT(largest(response, slope, peak, square), 1.25f * held);
            }
        }
    }
}
