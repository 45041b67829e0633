#pragma once

#include <cstdint>
#include <vector>

// A function of one variable that a FunctionTable samples once, at build time.
class FunctionTableFunction {
public:
    virtual ~FunctionTableFunction() = default;
    virtual double evaluate(double x) const = 0;
};

// A uniformly sampled function with linear interpolation: every coefficient
// the filters need per segment, and the output clip curve per sample, comes
// from one of these instead of a transcendental call.
//
// The point count is a power of two so that an index can be wrapped with a
// mask: no input, however far outside the domain, reads outside the values.
// One guard point past the end lets the interpolation read values[i + 1]
// for the last index without a test.
class FunctionTable {
public:
    FunctionTable() = default;
    FunctionTable(int requestedPoints, const FunctionTableFunction& function, double lower, double upper);

    void build(int requestedPoints, const FunctionTableFunction& function, double lower, double upper);

    // Truncates the table position toward zero; used for the per-segment
    // coefficient lookups. Out-of-domain inputs wrap around the table.
    float lookup(float x) const;
    // The same with x held inside the domain first, for functions that have
    // settled at both ends (where a wrapped index would read the other end).
    float lookupInside(float x) const { return lookup(x < lower ? lower : x > upper ? upper : x); }

    int pointCount() const { return points; }
    float lowerBound() const { return lower; }
    float upperBound() const { return upper; }
    float reciprocalStep() const { return reciprocal; }
    const float* data() const { return values.data(); }

private:
    float reciprocal = 0;
    float upper = 0;
    float lower = 0;
    double indexOffset = 0;
    int32_t points = 0;
    std::vector<float> values;
};
