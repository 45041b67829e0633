#include "modulation/SourceDisplayCurves.h"

#include <cmath>
#include <cstddef>

namespace {

struct Point {
    float x, y;
};

// Straight lines between the points; the first point's value at or below
// it, the last point's value beyond it.
template <std::size_t N> float piecewiseLinear(const Point (&points)[N], float x)
{
    if (!(x > points[0].x))
        return points[0].y;
    for (std::size_t i = 1; i < N; ++i) {
        if (x <= points[i].x) {
            const Point& a = points[i - 1];
            const Point& b = points[i];
            return a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x);
        }
    }
    return points[N - 1].y;
}

constexpr Point frequencyPoints[] = {{0.0f, 0.0f}, {0.2f, 0.001f}, {0.5f, 0.007f}, {0.7f, 0.03f},
                                     {0.8f, 0.1f}, {0.9f, 0.3f},   {0.95f, 0.5f},  {0.98f, 1.0f}};
constexpr Point timePoints[] = {{0.0f, 0.0f},  {0.15f, 0.02f}, {0.2f, 0.03f},  {0.33f, 0.05f}, {0.4f, 0.07f},
                                {0.5f, 0.1f},  {0.6f, 0.13f},  {0.68f, 0.17f}, {0.75f, 0.22f}, {0.85f, 0.35f},
                                {0.9f, 0.46f}, {0.95f, 0.66f}, {0.98f, 0.82f}, {1.0f, 1.0f}};
constexpr Point thresholdPoints[] = {{0.0f, 0.0f},  {0.1f, 0.002f}, {0.25f, 0.05f}, {0.5f, 0.16f},
                                     {0.7f, 0.36f}, {0.9f, 0.91f},  {1.0f, 1.0f}};

} // namespace

namespace SourceDisplayCurves {

float xlfoFrequency(float plain)
{
    return piecewiseLinear(frequencyPoints, plain);
}

float envelopeTime(float plain)
{
    return piecewiseLinear(timePoints, plain);
}

float threshold(float plain)
{
    const float magnitude = piecewiseLinear(thresholdPoints, std::fabs(plain));
    return plain < 0.0f ? -magnitude : magnitude;
}

float octaves(float plain)
{
    return std::exp2(plain);
}

float gainToDecibels(float gain)
{
    return gain > 1e-10f ? 20.0f * std::log10(gain) : -180.0f;
}

} // namespace SourceDisplayCurves
