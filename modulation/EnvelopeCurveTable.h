#pragma once

#include <vector>

// One stage shape of an envelope (rise or fall over 0..1), sampled into a
// table so a shape can be any function without costing more per sample
// than a straight line. Built once, then only read (shared by every
// envelope generator of the process).
class EnvelopeCurveTable {
public:
    using Function = float (*)(float);

    // Samples f over 0..1 at the smallest power of two of points not below
    // requestedPoints, plus a guard point that repeats the last one.
    EnvelopeCurveTable(Function f, int requestedPoints = 4096);

    // Writes offset + scale * T(position) for numSamples samples, position
    // advancing by increment per sample, with linear interpolation between
    // table points. Once the position reaches the end, the end value is
    // written for the rest. Returns true when an end value was written (the
    // stage is over). Audio thread.
    bool render(float* out, int numSamples, double& position, double increment, float offset,
                float scale) const;

    int size() const { return static_cast<int>(values.size()) - 1; }
    float at(double x) const;
    float endValue() const { return values[values.size() - 2]; }

private:
    std::vector<float> values;
};
