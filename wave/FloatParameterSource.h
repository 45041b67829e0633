#pragma once

#include "wave/ParameterRamp.h"
#include "wave/Source.h"

// A smoothed parameter value as a graph signal: its block is the ramp's
// block, marked constant once the ramp has settled so consumers can treat
// the value as a scalar.
class FloatParameterSource : public wave::Source {
public:
    // Control thread, while building.
    FloatParameterSource(wave::Graph& graph, float initial);

    // Audio thread (parameter changes are applied there). See ParameterRamp.
    void setTarget(float timeMs, float value) { ramp.setTarget(timeMs, value); }

    // Renders the ramp; with OutputNotNeeded it only advances it. Audio thread.
    int process(wave::Block& target, int numSamples, int flags) override;

    ParameterRamp& getRamp() { return ramp; }
    const ParameterRamp& getRamp() const { return ramp; }

private:
    ParameterRamp ramp;
};
