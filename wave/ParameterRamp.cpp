#include "wave/ParameterRamp.h"

#include "wave/Producer.h"

#include <algorithm>
#include <cmath>

namespace {
// The float change test every "only when it changes" rule uses: 2^-23.
constexpr float changeEpsilon = 1.1920929e-7f;
} // namespace

ParameterRamp::ParameterRamp(wave::Graph& graph, float initial)
    : ownerGraph(graph), output(graph.getBlockSize()), start(initial), upper(std::max(1.0f, initial)),
      lower(std::min(0.0f, initial)), referenceRange(upper - lower), advancedTo(graph.getPosition()),
      resetsSeen(graph.getResetCount()), target(initial)
{
}

void ParameterRamp::advanceToPresent()
{
    const std::uint32_t now = ownerGraph.getPosition();
    // A reset after the ramp last looked: the host skipped time we cannot
    // account for (bypass), or restored settings that must hold from the
    // first sample, so the running ramp is over. Counted, not compared by
    // position: a reset before any processing happens at the position of
    // the ramp's last look.
    if (ownerGraph.getResetCount() != resetsSeen) {
        resetsSeen = ownerGraph.getResetCount();
        position = length;
    } else if (position < length) {
        const std::int64_t next = static_cast<std::int64_t>(position) + (now - advancedTo);
        position = static_cast<int>(std::min<std::int64_t>(next, length));
    }
    advancedTo = now;
}

float ParameterRamp::valueAtPosition() const
{
    return position < length ? start + static_cast<float>(position) * increment : target;
}

float ParameterRamp::getCurrentValue()
{
    advanceToPresent();
    return valueAtPosition();
}

void ParameterRamp::setTarget(float timeMs, float value)
{
    if (std::isnan(value))
        return;
    value = std::clamp(value, lower, upper);
    if (std::fabs(value - target) <= changeEpsilon)
        return;
    // Nodes at rest on this ramp's value (or on what follows from it) run again.
    ownerGraph.endRests();
    advanceToPresent();
    start = valueAtPosition();
    position = 0;
    filled = 0;
    if (!(timeMs >= 0.0f)) {
        const float d = referenceRange > 0.0f ? std::fabs(value - start) / referenceRange : 1.0f;
        if (d < 0.3f && longestMs != shortestMs) {
            const float x = (0.3f - d) * 3.3333333f;
            timeMs = shortestMs + (longestMs - shortestMs) * x * x;
        } else {
            timeMs = shortestMs;
        }
    }
    const double samples =
        static_cast<double>(ownerGraph.getSampleRate()) * static_cast<double>(timeMs) * 0.001;
    length = samples < 2147483647.0 ? static_cast<int>(samples) : 2147483647;
    increment = length >= 1 ? (value - start) / static_cast<float>(length) : 0.0f;
    target = value;
}

void ParameterRamp::setLimits(float newLower, float newUpper)
{
    if (!(newLower <= newUpper))
        return;
    lower = newLower;
    upper = newUpper;
    referenceRange = upper - lower;
    const float clamped = std::clamp(target, lower, upper);
    if (clamped != target)
        setTarget(0.0f, clamped);
}

void ParameterRamp::setReferenceRange(float range)
{
    if (range > 0.0f)
        referenceRange = range;
}

void ParameterRamp::setRampTimes(float shortest, float longest)
{
    if (shortest >= 0.0f && longest >= shortest) {
        shortestMs = shortest;
        longestMs = longest;
    }
}

bool ParameterRamp::render(int numSamples)
{
    advanceToPresent();
    numSamples = std::clamp(numSamples, 0, output.size());
    float* out = output.data();
    if (position < length) {
        const int rampSamples = std::min(numSamples, length - position);
        // Every sample from the line's start, so a ramp reads the same however
        // the blocks cut it and long ramps gather no rounding error.
        for (int k = 0; k < rampSamples; ++k)
            out[k] = start + static_cast<float>(position + k) * increment;
        output.fill(target, rampSamples, numSamples);
        filled = 0;
        return false;
    }
    if (filled < numSamples) {
        output.fill(target, filled, numSamples);
        filled = numSamples;
    }
    return true;
}

bool ParameterRamp::produce(int numSamples, int flags)
{
    if (flags & wave::Producer::OutputNotNeeded) {
        advanceToPresent();
        return true;
    }
    return render(numSamples);
}
