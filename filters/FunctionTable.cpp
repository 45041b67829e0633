#include "filters/FunctionTable.h"

#include <algorithm>
#include <cmath>

namespace {

// Table positions are converted to int; anything beyond this (only reachable
// with absurd inputs such as 1e30 or NaN) is read as position 0 so that the
// conversion stays defined. Inside it the index wraps as documented.
constexpr double maxPosition = 1.0e9;

}  // namespace

FunctionTable::FunctionTable(int requestedPoints, const FunctionTableFunction& function, double lowerBound,
                             double upperBound)
{
    build(requestedPoints, function, lowerBound, upperBound);
}

void FunctionTable::build(int requestedPoints, const FunctionTableFunction& function, double a, double b)
{
    int n = 2;
    while (n < requestedPoints)
        n *= 2;
    points = n;
    values.assign(static_cast<size_t>(n) + 1, 0.0f);

    const double lo = std::min(a, b);
    const double hi = std::max(a, b);
    lower = static_cast<float>(lo);
    upper = static_cast<float>(hi);
    const double step = (hi - lo) / (n - 1);
    reciprocal = step != 0.0 ? static_cast<float>(1.0 / step) : 0.0f;

    // x advances by accumulation, as the table has always been sampled; the
    // last point is set from the exact upper bound instead.
    values[0] = static_cast<float>(function.evaluate(lo));
    double x = lo;
    for (int i = 1; i <= n - 2; ++i) {
        x += step;
        values[static_cast<size_t>(i)] = static_cast<float>(function.evaluate(x));
    }
    values[static_cast<size_t>(n) - 1] = values[static_cast<size_t>(n)] =
        static_cast<float>(function.evaluate(hi));

    indexOffset = hi != lo ? (n - 1) * lo / (hi - lo) : 0.0;
}

float FunctionTable::lookup(float x) const
{
    double t = static_cast<double>(x) * static_cast<double>(reciprocal) - indexOffset;
    if (!(std::fabs(t) < maxPosition))
        t = 0.0;
    const auto whole = static_cast<int32_t>(t);  // toward zero
    const float weight = static_cast<float>(t - whole);
    const float* v = values.data() + (whole & (points - 1));
    return v[0] + (v[1] - v[0]) * weight;
}
