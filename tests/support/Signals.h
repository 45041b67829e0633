#pragma once

// Test signals and the plain measurements the sound tests compare them by:
// sines, reproducible white noise, level, largest difference, largest step.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

namespace testsignals {

using Signal = std::vector<float>;

inline Signal sine(int n, double hz, double amplitude = 0.5, double rate = 48000.0)
{
    Signal s(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        s[static_cast<std::size_t>(i)] =
            static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate));
    return s;
}

// Uniform white noise in [-amplitude, amplitude), the same for a seed everywhere.
inline Signal noise(int n, std::uint32_t seed, double amplitude = 0.5)
{
    Signal s(static_cast<std::size_t>(n));
    std::uint32_t x = seed ? seed : 1u;
    for (auto& v : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<float>(amplitude * (static_cast<double>(x) / 2147483648.0 - 1.0));
    }
    return s;
}

inline double rms(const Signal& s, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    to = std::min(to, s.size());
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i)
        sum += static_cast<double>(s[i]) * static_cast<double>(s[i]);
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

inline double maxDifference(const Signal& a, const Signal& b, std::size_t from = 0)
{
    double worst = 0.0;
    for (std::size_t i = from; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, std::fabs(static_cast<double>(a[i]) - static_cast<double>(b[i])));
    return worst;
}

// Largest |x[i] - x[i - 1]| over [from, to): a click shows as a step far
// beyond what the signal itself makes.
inline float largestStep(const Signal& x, std::size_t from, std::size_t to)
{
    float step = 0.0f;
    for (std::size_t i = std::max<std::size_t>(from, 1); i < std::min(to, x.size()); ++i)
        step = std::max(step, std::fabs(x[i] - x[i - 1]));
    return step;
}

} // namespace testsignals
