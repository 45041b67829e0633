#include "effect/EffectDisplayCurves.h"

#include <array>
#include <cmath>

namespace {

struct Point {
    float x;
    float y;
};

// Corners of the delay knob's curve.
constexpr std::array<Point, 7> delayPoints{
    {{0.0f, 0.0f}, {0.1f, 0.002f}, {0.25f, 0.05f}, {0.5f, 0.16f}, {0.7f, 0.36f}, {0.9f, 0.91f}, {1.0f, 1.0f}}};

} // namespace

namespace EffectDisplayCurves {

float decibelsToGain(float decibels)
{
    return static_cast<float>(std::exp(static_cast<double>(decibels) * 0.1151292546497023));
}

float gainToDecibels(float gain)
{
    if (!(gain > 1e-10f))
        return -180.0f;
    return 20.0f * std::log10(gain);
}

float octavesToHertz(float octaves)
{
    return std::exp2(octaves);
}

float filterPanShown(float octaves)
{
    return octaves * 0.2857143f;
}

float mixPercent(float mix)
{
    return (mix + 1.0f) * 50.0f;
}

float delayCurve(float plain)
{
    if (std::isnan(plain))
        return 0.0f;
    const float x = std::fabs(plain);
    float y = 1.0f;
    if (x < delayPoints.back().x) {
        for (std::size_t i = 1; i < delayPoints.size(); ++i) {
            if (x <= delayPoints[i].x) {
                const Point a = delayPoints[i - 1];
                const Point b = delayPoints[i];
                y = a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x);
                break;
            }
        }
    }
    return plain < 0.0f ? -y : y;
}

} // namespace EffectDisplayCurves
