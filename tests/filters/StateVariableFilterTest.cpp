#include "filters/DesignFilter.h"
#include "filters/DesignFilterStyle.h"
#include "filters/StateVariableFilter.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

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
                    std::vector<float> in(static_cast<size_t>(rate) + 8192);
                    for (size_t i = 0; i < in.size(); ++i)
                        in[i] = 0.25f * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate));
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
    std::vector<float> in(static_cast<size_t>(rate) + 8192);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = 0.25f * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate));
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
