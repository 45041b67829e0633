// The display's response curves against the geometry they are defined by:
// each piece meets its end points and end slopes, the pieces join without a
// kink where the shape has none, and the updates move or refit only what
// they should.
#include "filters/ResponseCurve.h"

#include <gtest/gtest.h>

#include <cmath>

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
