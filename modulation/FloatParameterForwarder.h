#pragma once

#include "wave/ParameterRamp.h"
#include "wave/Source.h"

// A ramp that another object owns, as a graph signal. The modulation matrix
// keeps one ramp per target (its base value) inside the target entry, where
// the setters reach it; the forwarder is how the graph pulls it. Its block is
// the ramp's block, marked constant once the ramp has settled.
class FloatParameterForwarder : public wave::Source {
public:
    // Control thread, while building. The ramp must outlive the forwarder.
    explicit FloatParameterForwarder(ParameterRamp& ramp);

    // Renders the ramp; with OutputNotNeeded it only advances it. Audio thread.
    int process(wave::Block& target, int numSamples, int flags) override;

    ParameterRamp& getRamp() const { return ramp; }

private:
    ParameterRamp& ramp;
};
