#include "filters/WeightedInput.h"

namespace {
// Gains beyond unity are allowed (a mixer may boost); the ramp's automatic
// time still measures moves against a full on/off switch.
constexpr float gainLimit = 64.0f;
} // namespace

WeightedInput::WeightedInput(wave::Graph& graph, float initialGain) : ownGain(graph, initialGain)
{
    ownGain.getRamp().setLimits(-gainLimit, gainLimit);
    ownGain.getRamp().setReferenceRange(1.0f);
}

void WeightedInput::setGain(float value, float timeMs)
{
    ownGain.setTarget(timeMs, value);
}

ControlInput::Signal WeightedInput::pullGain(int numSamples)
{
    // Most gains of a patch sit still (the switches of unused filters, of
    // the audition and of the mid/side sides): reading them costs a
    // comparison, not a pass through the node.
    if (const ParameterRamp& ramp = ownGain.getRamp(); ramp.holds(numSamples))
        return {ramp.getBlock().data(), true};
    const wave::Block& block = ownGain.pull(numSamples, 0);
    return {block.data(), ownGain.isConstant()};
}
