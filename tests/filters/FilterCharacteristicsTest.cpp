#include "filters/DesignFilterStyle.h"
#include "filters/FilterCharacteristics.h"
#include "filters/FunctionTable.h"
#include "filters/ResponseCurve.h"
#include "filters/StateVariableFilter.h"
#include "persistence/Resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void putWord(Bytes& b, std::uint32_t w)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
}

void putFloat(Bytes& b, float v)
{
    std::uint32_t w = 0;
    std::memcpy(&w, &v, 4);
    putWord(b, w);
}

// An "MFil" table written independently of the reader: every cell of table
// t (0 drive, 1 saturation, 2 resonance) is cell(t, row, column).
template <class Cell>
Bytes makeTable(const char* magic, std::uint32_t version, float k, float lo, float hi, int n, Cell cell)
{
    Bytes b(magic, magic + 4);
    putWord(b, version);
    putFloat(b, k);
    putFloat(b, lo);
    putFloat(b, hi);
    for (int t = 0; t < 3; ++t) {
        putWord(b, static_cast<std::uint32_t>(n));
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c)
                putFloat(b, cell(t, r, c));
    }
    return b;
}

float columnCutoff(const DesignFilter::Style& s, int column)
{
    return s.lowestCutoff + static_cast<float>(column) / s.gridScale();
}

}  // namespace

// The menu order (a preset stores the position); what the tables hold is the
// generator's output (tests/tools), their header here read back.
TEST(FilterCharacteristics, FactoryListLoadsTheTenTablesInMenuOrder)
{
    const FilterCharacteristics& list = FilterCharacteristics::shared();
    ASSERT_EQ(list.size(), 10);
    const float k[10] = {0.3f, 0.181958f, 1.0f, 0.687329f, 0.913428f, 0.128784f, 0.31709f, 1.0f, 0.1f, 0.543188f};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(list[i].clipShapeFactor.get(), k[i]) << i;
        EXPECT_EQ(list[i].clipTable().shapeFactor(), k[i]) << i;
    }
    EXPECT_EQ(list[3].lowestCutoff.get(), 3.06152f);
    EXPECT_EQ(list[3].highestCutoff.get(), 15.6029f);
    EXPECT_EQ(list[0].gainCompensation(), 1.8f);
}

TEST(FilterCharacteristics, OneReadsBackItsDefiningRowsAndClampsAtTheGridEdges)
{
    const DesignFilter::Style& one = FilterCharacteristics::shared()[0];
    const float drive10[11] = {1.5f, 1.5f, 1.5f, 2, 2, 2.5f, 2.5f, 3, 4, 8, 8};
    const float saturation10[11] = {0.001f, 0.001f, 0.001f, 0.003f, 0.01f, 0.03f, 0.04f, 0.07f, 0.1f, 0.1f, 0.1f};
    const float resonance9[11] = {3.25f, 3.25f, 3.25f, 3.25f, 2.5f, 2.1f, 1.3f, 1.1f, 0.95f, 0.95f, 0.95f};
    const float resonance10[11] = {3.5f, 3.5f, 3.5f, 3.5f, 3, 2.5f, 1.5f, 1.2f, 1, 1, 1};
    for (int c = 0; c < 11; ++c) {
        const float cut = columnCutoff(one, c);
        for (int r = 0; r <= 4; ++r) {
            const auto s = one.getSettings(static_cast<float>(r) / 10.0f, cut);
            EXPECT_NEAR(s.drive, 2.5f, 1e-5f);
            EXPECT_NEAR(s.saturation, 0.0f, 1e-7f);
            EXPECT_NEAR(s.resonanceAmount, 0.05f * static_cast<float>(r), 1e-5f) << r << "," << c;
        }
        const auto top = one.getSettings(1.0f, cut);
        EXPECT_NEAR(top.drive, drive10[c], 1e-4f) << c;
        EXPECT_NEAR(top.saturation, saturation10[c], 1e-6f) << c;
        EXPECT_NEAR(top.resonanceAmount, resonance10[c], 1e-4f) << c;
        EXPECT_NEAR(one.getSettings(0.9f, cut).resonanceAmount, resonance9[c], 1e-4f) << c;
    }
    // Beyond the grid: the edge columns, no extrapolation; a peak above 1
    // stays on the last row.
    EXPECT_EQ(one.getSettings(1.0f, -5.0f).resonanceAmount, 3.5f);
    EXPECT_EQ(one.getSettings(1.0f, 30.0f).drive, 8.0f);
    EXPECT_EQ(one.getSettings(3.0f, 30.0f).drive, 8.0f);
    EXPECT_EQ(one.getSettings(std::nanf(""), std::nanf("")).resonanceAmount, 0.0f);
    // Halfway between rows 9 and 10 and columns 4 and 5: the mean of the corners.
    const float cut = 0.5f * (columnCutoff(one, 4) + columnCutoff(one, 5));
    EXPECT_NEAR(one.getSettings(0.95f, cut).resonanceAmount, (2.5f + 2.1f + 3.0f + 2.5f) / 4.0f, 1e-4f);
}

TEST(FilterCharacteristics, DefaultsAreThePlainFilterAndDriveNeverFallsBelowATenth)
{
    const DesignFilter::Style plain("", 1.0f);
    for (float peak : {0.0f, 0.1f, 0.35f, 0.5f, 0.95f, 1.0f}) {
        const auto s = plain.getSettings(peak, 10.0f);
        // Rows step by 0.1, and the last is held at 0.999.
        EXPECT_NEAR(s.resonanceAmount, std::min(peak, 0.9f) + std::max(peak - 0.9f, 0.0f) * 0.99f, 1e-5f);
        EXPECT_EQ(s.saturation, 0.0f);
        EXPECT_NEAR(s.drive, 0.1f, 1e-7f);
    }

    // A drive cell of 0 (or anything below 0.1) yields 0.1; values between
    // are interpolated as stored. The version is not checked.
    registerResource("LowDrive.fil", makeTable("MFil", 7, 0.5f, 2.0f, 12.0f, 11, [](int t, int, int c) {
                         return t == 0 ? 0.02f * static_cast<float>(c) : 0.0f;
                     }));
    const DesignFilter::Style low("LowDrive.fil", 1.0f);
    EXPECT_EQ(low.clipShapeFactor.get(), 0.5f);
    EXPECT_EQ(low.getSettings(0.5f, 2.0f).drive, 0.1f);
    EXPECT_NEAR(low.getSettings(0.5f, 12.0f).drive, 0.2f, 1e-6f);
    unregisterResource("LowDrive.fil");
}

TEST(FilterCharacteristics, DamagedTablesKeepWhatWasThere)
{
    // Wrong magic: nothing after the version is read; construction values
    // stay and the tables stay 0 (a plain filter without resonance).
    registerResource("BadMagic.fil", makeTable("MFiX", 1, 0.9f, 3.0f, 14.0f, 11, [](int, int, int) {
                         return 5.0f;
                     }));
    DesignFilter::Style bad("BadMagic.fil", 1.0f);
    EXPECT_EQ(bad.clipShapeFactor.get(), 0.3f);
    EXPECT_EQ(bad.lowestCutoff.get(), 2.2666f);
    const auto s = bad.getSettings(1.0f, 10.0f);
    EXPECT_EQ(s.resonanceAmount, 0.0f);
    EXPECT_EQ(s.saturation, 0.0f);
    EXPECT_EQ(s.drive, 0.1f);
    EXPECT_FALSE(bad.loadCharacteristic("BadMagic.fil"));
    unregisterResource("BadMagic.fil");

    // Truncated inside the saturation table: the drive table and the first
    // 30 saturation cells are read, the rest stay as they were.
    Bytes full = makeTable("MFil", 1, 0.7f, 2.0f, 12.0f, 11, [](int t, int r, int c) {
        return static_cast<float>(t * 1000 + r * 11 + c + 1);
    });
    full.resize(512 + 30 * 4 + 2);  // saturation values start at 512
    registerResource("Short.fil", full);
    DesignFilter::Style shortStyle("Short.fil", 1.0f);
    EXPECT_EQ(shortStyle.clipShapeFactor.get(), 0.7f);
    EXPECT_EQ(shortStyle.driveTable.value(10, 10), 121.0f);
    EXPECT_EQ(shortStyle.saturationTable.value(2, 7), 1000.0f + 30.0f);  // cell 29
    EXPECT_EQ(shortStyle.saturationTable.value(2, 8), 0.0f);             // cell 30 was cut
    EXPECT_EQ(shortStyle.resonanceTable.value(0, 0), 0.0f);
    EXPECT_FALSE(shortStyle.loadCharacteristic("Short.fil"));
    // A load over existing values only overwrites what it reads.
    shortStyle.resonanceTable.setValue(3, 3, 42.0f);
    shortStyle.loadCharacteristic("Short.fil");
    EXPECT_EQ(shortStyle.resonanceTable.value(3, 3), 42.0f);
    unregisterResource("Short.fil");

    // A size no table can have ends the load instead of allocating it.
    full[23] = 0x7f;
    registerResource("Huge.fil", full);
    EXPECT_EQ(DesignFilter::Style("Huge.fil", 1.0f).driveTable.value(5, 5), 0.0f);
    unregisterResource("Huge.fil");

    EXPECT_THROW(DesignFilter::Style("NoSuchTable.fil", 1.0f), EResource);
}

namespace {

class Identity : public FunctionTableFunction {
public:
    double evaluate(double x) const override { return x; }
};

class Square : public FunctionTableFunction {
public:
    double evaluate(double x) const override { return x * x; }
};

}  // namespace

// Points: a power of two (a mask wraps the index), sampled from the lower
// bound (bounds given the wrong way round are put in order), one guard point
// past the end; between points the chord. Out of the domain the index wraps
// (one period of points further on the table repeats), unless held inside
// first; inputs no position can hold read as position 0.
TEST(FunctionTable, SamplingInterpolationAndOutOfDomainReads)
{
    EXPECT_EQ(FunctionTable(4906, Identity(), 0, 1).pointCount(), 8192);
    EXPECT_EQ(FunctionTable(4096, Identity(), 0, 1).pointCount(), 4096);
    EXPECT_EQ(FunctionTable(1, Identity(), 0, 1).pointCount(), 2);
    const FunctionTable t(8, Square(), 3.0, -4.0);
    for (int i = 0; i < 8; ++i) {
        const double x = -4.0 + i;
        EXPECT_FLOAT_EQ(t.lookup(static_cast<float>(x)), static_cast<float>(x * x)) << i;
    }
    EXPECT_EQ(t.data()[8], t.data()[7]);
    EXPECT_FLOAT_EQ(t.lookup(-3.5f), 0.5f * (16.0f + 9.0f));

    const FunctionTable line(4, Identity(), 0.0, 1.0);  // step 1/3
    EXPECT_NEAR(line.lookup(-0.1f), -0.1f, 1e-6f);       // truncated toward 0: the first chord
    EXPECT_NEAR(line.lookup(0.5f + 4.0f / 3.0f), line.lookup(0.5f), 1e-5f);
    EXPECT_EQ(line.lookupInside(-0.1f), 0.0f);
    EXPECT_EQ(line.lookupInside(1.0f + 4.0f / 3.0f), 1.0f);
    EXPECT_TRUE(std::isfinite(line.lookup(std::numeric_limits<float>::quiet_NaN())));
    EXPECT_TRUE(std::isfinite(line.lookup(-1e30f)));
}

TEST(FunctionTable, SharedCoefficientTablesFollowTheirClosedForms)
{
    const auto& tables = StateVariableFilter::sharedTables();
    // The coefficient of a loop at three times the rate: 2 sin(pi/3 * fc/fs),
    // capped at 0.95 from about 0.29 fs up.
    EXPECT_NEAR(tables.frequency.lookup(std::log2(0.01f)), 2.0 * std::sin(std::numbers::pi / 300.0), 1e-6);
    EXPECT_NEAR(tables.frequency.lookup(-0.5f), 0.95f, 1e-6f);
    EXPECT_NEAR(tables.damping.lookup(1.0f), 0.0f, 1e-3f);
    EXPECT_LT(tables.damping.lookup(3.5f), -0.7f);  // above 1: the loop gains
    EXPECT_NEAR(tables.dampingLimit.lookup(0.9f), 2.0 / 0.9 - 0.9, 1e-3);
}

// The clip curve: atan shapes on both half-waves, held at its end values
// beyond the table (it saturates: a wrapped index would flip the sign of a
// loud signal), and an integral that follows the closed-form antiderivative
// of atan, on which the output stage's anti-aliasing rests.
TEST(FunctionTable, ClipCurveSaturatesAndIntegratesLikeTheArctangent)
{
    StateVariableFilter::ClipTable clip(0.25f);
    EXPECT_NEAR(clip(4.0f), std::atan(0.25 * 4.0) / 0.25, 1e-4);  // soft positive half-wave
    EXPECT_NEAR(clip(-4.0f), std::atan(-4.0), 1e-4);              // negative always atan
    const float before = clip(10.0f);
    clip.setShapeFactor(0.25f + 5e-8f);  // within the change epsilon: no rebuild
    EXPECT_EQ(clip.shapeFactor(), 0.25f);
    clip.setShapeFactor(1.0f);
    EXPECT_NEAR(clip(10.0f), std::atan(10.0), 1e-4);
    EXPECT_NE(clip(10.0f), before);

    for (const double k : {0.1, 0.31709, 1.0}) {
        clip.setShapeFactor(static_cast<float>(k));
        const ClipCurve& curve = clip.curve();
        auto antiderivative = [k](double x) {
            return x >= 0.0 ? (x * std::atan(k * x) - std::log1p(k * k * x * x) / (2.0 * k)) / k
                            : x * std::atan(x) - 0.5 * std::log1p(x * x);
        };
        float last = -std::numeric_limits<float>::infinity();
        for (double x = -300.0; x <= 300.0; x += 0.37) {
            const float y = clip(static_cast<float>(x));
            ASSERT_GE(y, last) << "k " << k << " x " << x;  // never falls back: no wrap
            last = y;
            const double inside = std::clamp(x, -40.0, 40.0);
            const double expected = antiderivative(inside) + (x - inside) * (x >= 0.0 ? std::atan(k * 40.0) / k
                                                                                      : std::atan(-40.0));
            ASSERT_NEAR(curve.integral(static_cast<float>(x)), expected, 2e-4 * std::max(1.0, std::fabs(expected)))
                << "k " << k << " x " << x;
        }
        EXPECT_EQ(clip(1e30f), clip(40.0f));
        EXPECT_EQ(clip(-std::numeric_limits<float>::infinity()), clip(-40.0f));
    }
}

// The display's response curves against the geometry they are defined by:
// each piece meets its end points and end slopes, the pieces join without a
// kink where the shape has none, and the updates move or refit only what
// they should.
namespace {

constexpr double tolerance = 1e-9;

// The display of the editor: 640 x 263 with a margin of 10.
ResponseCurve curveOf(int response, int slope, double frequency, double peak)
{
    ResponseCurve c;
    c.setFrame(ResponseCurve::Frame::ofDisplay(640, 263, 10));
    c.setResponse(response);
    c.setSlopeIndex(slope);
    c.setFrequency(frequency);
    c.setPeak(peak);
    return c;
}

// The curve's height at display x (the piece whose range holds it).
double heightAt(const ResponseCurve& c, double x)
{
    for (int i = 0; i < c.segmentCount(); ++i) {
        const ResponseCurve::Segment& s = c.segment(i);
        if (x >= s.start && x <= s.end)
            return s.cubic.valueAt(x - c.dotX());
    }
    return NAN;
}

} // namespace

TEST(ResponseCurve, CubicFitMeetsEndPointsAndSlopes)
{
    struct Case {
        double x0, y0, s0, x1, y1, s1;
    };
    const Case cases[] = {
        {-120.0, 121.0, 0.0, 0.0, 30.0, -1.9},
        {0.0, 30.0, 2.4, 310.0, 267.0, -0.4},
        {-2430.0, 121.0, 0.0, -124.0, 121.0, 0.0},
        {17.5, -3.0, 5.0, 18.0, 40.0, -7.0},
    };
    for (const Case& k : cases) {
        const CubicPolynomial p = CubicPolynomial::fit(k.x0, k.y0, k.s0, k.x1, k.y1, k.s1);
        // Relative to the largest term the expansion around u = 0 carries.
        const double scale = 1.0 + std::fabs(k.x0) * std::fabs(k.x0) * std::fabs(k.x0) * std::fabs(p.a[3]);
        EXPECT_NEAR(p.valueAt(k.x0), k.y0, tolerance * scale);
        EXPECT_NEAR(p.valueAt(k.x1), k.y1, tolerance * scale);
        EXPECT_NEAR(p.slopeAt(k.x0), k.s0, tolerance * scale);
        EXPECT_NEAR(p.slopeAt(k.x1), k.s1, tolerance * scale);
    }
    // No width: a constant at the first point instead of a division by 0.
    const CubicPolynomial flat = CubicPolynomial::fit(5.0, 7.0, 1.0, 5.0, 9.0, 2.0);
    EXPECT_EQ(flat.valueAt(100.0), 7.0);
}

TEST(ResponseCurve, ShapesFollowResponseSlopeAndPeak)
{
    const ResponseCurve::Frame f = ResponseCurve::Frame::ofDisplay(640, 263, 10);
    ASSERT_EQ(f.innerWidth, 620);
    ASSERT_EQ(f.innerHeight, 243);
    ASSERT_EQ(f.flatLevel, 121);
    const double below = static_cast<int>(1.1 * 243);

    // Low-pass with a peak: flat far to the left, up to the peak point at
    // the dot (the only kink), down past the bottom one roll-off later.
    const ResponseCurve lp = curveOf(0, 2, 0.5, 0.75);
    const int x = lp.dotX();
    ASSERT_EQ(x, 10 + 310);
    ASSERT_EQ(lp.segmentCount(), 3);
    EXPECT_NEAR(heightAt(lp, x - 400), 121.0, tolerance);
    EXPECT_NEAR(heightAt(lp, x - lp.riseWidth()), 121.0, tolerance);
    EXPECT_NEAR(heightAt(lp, x), static_cast<int>(0.25 * 121), tolerance);
    EXPECT_NEAR(lp.segment(2).cubic.valueAt(lp.rollOffWidth()), below, tolerance);
    EXPECT_EQ(lp.rollOffWidth(), static_cast<int>(620 * 0.33));
    for (int i = 0; i + 1 < lp.segmentCount(); ++i) {
        const ResponseCurve::Segment& a = lp.segment(i);
        const ResponseCurve::Segment& b = lp.segment(i + 1);
        EXPECT_EQ(a.end, b.start);
        EXPECT_NEAR(a.cubic.valueAt(a.to), b.cubic.valueAt(b.from), tolerance);
    }
    EXPECT_NEAR(lp.segment(1).cubic.slopeAt(0), -2.5 * 0.75, tolerance);
    EXPECT_NEAR(lp.segment(2).cubic.slopeAt(0), 2.0 * 0.75 / 0.33, tolerance);

    // Peak 0: flat up to the cut-off, then falling until it leaves the
    // inner area at the bottom (where it is clipped).
    const ResponseCurve plain = curveOf(0, 1, 0.3, 0.0);
    for (double px = plain.segment(0).start; px <= plain.dotX(); px += 7.0)
        EXPECT_NEAR(heightAt(plain, px), 121.0, tolerance) << px;
    double previous = 121.0;
    for (double px = plain.dotX() + 1.0; previous <= 243.0; px += 1.0) {
        const double y = heightAt(plain, px);
        EXPECT_GE(y, previous - tolerance) << px;
        previous = y;
    }

    // High-pass mirrors the low-pass about the dot.
    const ResponseCurve hp = curveOf(1, 2, 0.5, 0.75);
    for (double u = -300.0; u <= lp.rollOffWidth(); u += 13.0)
        EXPECT_NEAR(heightAt(hp, x - u), heightAt(lp, x + u), 1e-6) << u;

    // Band-pass: two flanks of the same width meeting at the peak point.
    const ResponseCurve bp = curveOf(2, 3, 0.5, 1.0);
    ASSERT_EQ(bp.segmentCount(), 2);
    EXPECT_EQ(bp.segment(0).start, x - bp.rollOffWidth());
    EXPECT_EQ(bp.segment(1).end, x + bp.rollOffWidth());
    EXPECT_NEAR(heightAt(bp, x), 0.0, tolerance);
    EXPECT_NEAR(heightAt(bp, x - 30) , heightAt(bp, x + 30), 1e-6);

    // The steepest slope's roll-off is a fifth of the widest one's.
    EXPECT_EQ(curveOf(0, 3, 0.5, 0.5).rollOffWidth(), static_cast<int>(0.2 * 620));
    EXPECT_EQ(curveOf(0, 0, 0.5, 0.5).rollOffWidth(), 620);
}

TEST(ResponseCurve, AMovedAndRefittedCurveIsTheFreshOne)
{
    ResponseCurve c = curveOf(0, 1, 0.2, 0.4);
    const ResponseCurve before = c;
    c.setFrequency(0.7);
    EXPECT_EQ(c.segment(0).cubic.a, before.segment(0).cubic.a);
    c.setPeak(0.9);
    // Moved and refitted, it is the curve made fresh with these values.
    const ResponseCurve fresh = curveOf(0, 1, 0.7, 0.9);
    ASSERT_GT(c.dotX(), before.dotX());
    for (int i = 0; i < c.segmentCount(); ++i) {
        EXPECT_EQ(c.segment(i).start, fresh.segment(i).start);
        EXPECT_EQ(c.segment(i).end, fresh.segment(i).end);
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(c.segment(i).cubic.a[k], fresh.segment(i).cubic.a[k], 1e-12);
    }
}
