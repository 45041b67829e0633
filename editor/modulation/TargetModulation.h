#pragma once

class ModulationTargetParameter;
class OstrandPlugin;
class SourceController;

// What the slots do to one modulation target, in the terms of the knob that
// shows it: the part of the knob's range that the modulation can sweep (from
// the lowest to the highest value the valid slots on the target can reach
// together, held in the target's range) and, while audio runs, the value the
// target had at the end of the last block.
struct TargetSweep {
    bool modulated = false; // a valid slot acts on the target
    float low = 0.0f;       // fractions of the knob's range, 0..1
    float high = 0.0f;
    float live = 0.0f;
};

// Reads the slots from the parameters, and validity, depths and the live
// values from what the audio thread publishes (atomics). Editor thread.
class TargetModulation {
public:
    TargetModulation(OstrandPlugin& plugin, const SourceController& sources);

    TargetSweep sweep(const ModulationTargetParameter& parameter) const;
    // Where a value in the matrix's units (log2 Hz for a cut-off, a linear
    // gain for a level) lies on the parameter's knob, 0..1.
    float fractionOf(const ModulationTargetParameter& parameter, float targetValue) const;

private:
    // The matrix multiplies a slot level's base by the slot's depth.
    float scaleOf(int target) const;

    OstrandPlugin& plugin;
    const SourceController& sources;
};
