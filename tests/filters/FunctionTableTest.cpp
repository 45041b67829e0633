#include "filters/FunctionTable.h"
#include "filters/StateVariableFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

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
