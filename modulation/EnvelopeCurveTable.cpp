#include "modulation/EnvelopeCurveTable.h"

#include <algorithm>

namespace {
// A stage counts as over this close to its end. Stage times arrive as
// floats (0.05 s is 0.0500000007 s) and the position is a sum of many
// increments; a stage meant to last n samples must not run an extra sample
// because of either. A millionth of a stage is far below anything audible.
constexpr double endSnap = 1e-6;
} // namespace

EnvelopeCurveTable::EnvelopeCurveTable(Function f, int requestedPoints)
{
    int points = 2;
    while (points < requestedPoints)
        points *= 2;
    values.resize(static_cast<std::size_t>(points) + 1);
    for (int i = 0; i < points; ++i)
        values[static_cast<std::size_t>(i)] = f(static_cast<float>(static_cast<double>(i) / (points - 1)));
    values[static_cast<std::size_t>(points)] = values[static_cast<std::size_t>(points) - 1];
}

float EnvelopeCurveTable::at(double x) const
{
    const int last = size() - 1;
    if (!(x > 0.0))
        return values[0];
    if (x >= 1.0)
        return values[static_cast<std::size_t>(last)];
    const double scaled = x * last;
    const int i = static_cast<int>(scaled);
    const float t = static_cast<float>(scaled - i);
    const float v0 = values[static_cast<std::size_t>(i)];
    return v0 + (values[static_cast<std::size_t>(i) + 1] - v0) * t;
}

bool EnvelopeCurveTable::render(float* out, int numSamples, double& position, double increment, float offset,
                                float scale) const
{
    double p = position;
    for (int k = 0; k < numSamples; ++k) {
        if (p >= 1.0 - endSnap) {
            std::fill(out + k, out + numSamples, offset + scale * endValue());
            position = 1.0;
            return true;
        }
        out[k] = offset + scale * at(p);
        p += increment;
    }
    position = p;
    return false;
}
