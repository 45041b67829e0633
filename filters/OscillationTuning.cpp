#include "filters/OscillationTuning.h"

#include "filters/StateVariableKernel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

using Lanes = std::array<double, laneCount>;

// The pitch of the first stage's loop on silence, in cycles per sample,
// for four settings at once (one per lane), from the upward zero crossings
// of its low-pass state once it has settled; 0 where it does not
// oscillate. Each lane settles for eight of its expected periods and is
// timed over eight more, or over a few hundred samples where a period is
// only a few samples long (the crossings are placed by linear
// interpolation between samples).
Lanes loopPitch(const Lanes& f, float q[laneCount], float c[laneCount])
{
    LaneVector fv, qv, cv;
    long settle = 64;
    long longest = 0;
    int periods[laneCount];
    for (int l = 0; l < laneCount; ++l) {
        fv[l] = static_cast<float>(f[static_cast<std::size_t>(l)]);
        qv[l] = q[l];
        cv[l] = c[l];
        const long period = static_cast<long>(std::ceil(1.0 / OscillationTuning::pitchOf(f[static_cast<std::size_t>(l)])));
        periods[l] = std::max(8, static_cast<int>(256 / period));
        settle = std::max(settle, 8 * period);
        longest = std::max(longest, 3 * (periods[l] + 1) * period);  // the loop may run far slow
    }

    LaneVector low = {};
    LaneVector band = splat<LaneVector>(0.5f);
    const LaneVector silence = {};
    for (long i = 0; i < settle; ++i)
        svfkernel::stageSample<LaneVector, svfkernel::lowTap, true>(low, band, silence, fv, qv, cv);

    Lanes first = {}, last = {};
    int crossings[laneCount] = {};
    int open = laneCount;
    LaneVector previous = low;
    for (long i = 0; i < longest && open > 0; ++i) {
        svfkernel::stageSample<LaneVector, svfkernel::lowTap, true>(low, band, silence, fv, qv, cv);
        const LaneMask up = (previous < 0.0f) & (low >= 0.0f);
        if (anyLane(up)) {
            for (int l = 0; l < laneCount; ++l) {
                if (!up[l] || crossings[l] > periods[l])
                    continue;
                const double when = static_cast<double>(i) - 1.0 + static_cast<double>(previous[l] / (previous[l] - low[l]));
                (crossings[l] == 0 ? first : last)[static_cast<std::size_t>(l)] = when;
                if (++crossings[l] > periods[l])
                    --open;
            }
        }
        previous = low;
    }
    Lanes pitch = {};
    for (std::size_t l = 0; l < laneCount; ++l)
        pitch[l] = crossings[l] >= 2 ? (crossings[l] - 1) / (last[l] - first[l]) : 0.0;
    return pitch;
}

// The factors on f at which the loop, with q and c, oscillates at f's
// pitch, for four settings: from guessed factors, one step as if the pitch
// followed the coefficient in proportion, then one secant step. (It does
// follow it nearly in proportion, so with the guess from the neighbouring
// grid point two runs of the loop are enough.) The coefficient stays
// within the loop's cap.
Lanes solve(double f, float q[laneCount], float c[laneCount], const Lanes& guess)
{
    const double target = std::log(OscillationTuning::pitchOf(f));
    const double highest = std::log(static_cast<double>(OscillationTuning::highestCoefficient));
    auto errors = [&](const Lanes& x) {
        Lanes coefficient;
        for (std::size_t l = 0; l < laneCount; ++l)
            coefficient[l] = std::exp(x[l]);
        const Lanes pitch = loopPitch(coefficient, q, c);
        Lanes error;
        for (std::size_t l = 0; l < laneCount; ++l)
            error[l] = pitch[l] > 0.0 ? std::log(pitch[l]) - target : 0.0;  // none: keep the guess
        return error;
    };
    Lanes x0, x1, factor;
    for (std::size_t l = 0; l < laneCount; ++l)
        x0[l] = std::min(std::log(f * guess[l]), highest);
    const Lanes y0 = errors(x0);
    for (std::size_t l = 0; l < laneCount; ++l)
        x1[l] = std::min(x0[l] - y0[l], highest);
    const Lanes y1 = errors(x1);
    for (std::size_t l = 0; l < laneCount; ++l) {
        double slope = x1[l] != x0[l] ? (y1[l] - y0[l]) / (x1[l] - x0[l]) : 1.0;
        if (!(slope > 0.3 && slope < 3.0))
            slope = 1.0;
        factor[l] = std::exp(std::min(x1[l] - y1[l] / slope, highest)) / f;
    }
    return factor;
}

}  // namespace

double OscillationTuning::pitchOf(double f)
{
    return 3.0 * std::asin(0.5 * f) / std::numbers::pi;
}

OscillationTuning::OscillationTuning() : factors(static_cast<std::size_t>(columns * rows * layers), 1.0f)
{
    // Every (q, w) point of a column, four at a time; the last group is
    // filled up with repeats of its last point.
    constexpr int points = (rows - 1) * layers;
    for (int i = 1; i < columns; ++i) {
        const double f = i * static_cast<double>(fStep);
        for (int p = 0; p < points; p += laneCount) {
            int row[laneCount], layer[laneCount];
            float q[laneCount], c[laneCount];
            Lanes guess;
            for (int l = 0; l < laneCount; ++l) {
                const int point = std::min(p + l, points - 1);
                row[l] = 1 + point / layers;
                layer[l] = point % layers;
                q[l] = -static_cast<float>(row[l]) * qStep;
                c[l] = static_cast<float>(layer[l]) * wStep * 4.0f * -q[l] * static_cast<float>(f) / 3.0f;
                guess[static_cast<std::size_t>(l)] = i > 1 ? static_cast<double>(factors[index(i - 1, row[l], layer[l])]) : 1.0;
            }
            const Lanes factor = solve(f, q, c, guess);
            for (int l = 0; l < laneCount; ++l)
                factors[index(i, row[l], layer[l])] = static_cast<float>(factor[static_cast<std::size_t>(l)]);
        }
    }
    // Towards f = 0 the factor runs on in a straight line.
    for (int j = 0; j < rows; ++j)
        for (int k = 0; k < layers; ++k)
            factors[index(0, j, k)] = 2.0f * factors[index(1, j, k)] - factors[index(2, j, k)];
}

float OscillationTuning::tuned(float f, float q, float c) const
{
    if (!(q < 0.0f) || !(f > 0.0f))
        return f;
    // Positions on the grid, held at its far ends (a NaN share reads as
    // the far end, where the saturation alone holds the loop).
    const float lastF = static_cast<float>(columns - 1);
    const float lastQ = static_cast<float>(rows - 1);
    const float lastW = static_cast<float>(layers - 1);
    const float share = c > 0.0f ? 0.75f * c / (-q * f) : 0.0f;
    const float x = std::min(f / fStep, lastF);
    const float y = std::min(-q / qStep, lastQ);
    const float z = share < lastW * wStep ? share / wStep : lastW;
    const int i = std::min(static_cast<int>(x), columns - 2);
    const int j = std::min(static_cast<int>(y), rows - 2);
    const int k = std::min(static_cast<int>(z), layers - 2);
    const float tx = x - static_cast<float>(i);
    const float ty = y - static_cast<float>(j);
    const float tz = z - static_cast<float>(k);

    auto alongW = [&](int column, int row) {
        const float a = factors[index(column, row, k)];
        return a + (factors[index(column, row, k + 1)] - a) * tz;
    };
    auto alongQ = [&](int column) {
        const float a = alongW(column, j);
        return a + (alongW(column, j + 1) - a) * ty;
    };
    const float near = alongQ(i);
    const float factor = near + (alongQ(i + 1) - near) * tx;
    return std::min(f * factor, highestCoefficient);
}
