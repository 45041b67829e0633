#include "modulation/ModulationKernels.h"

#include "wave/BlockLoops.h"

using blockloops::load;
using blockloops::roundUpToFour;
using blockloops::store;

void ModulationKernels::multiplyAdd(const float* s, const float* l, const float* acc, float* out, int n)
{
    for (int k = 0; k < roundUpToFour(n); k += 4)
        store(out + k, load(s + k) * load(l + k) + load(acc + k));
}

void ModulationKernels::multiplyAddScalar(const float* s, float l, const float* acc, float* out, int n)
{
    const LaneVector level = splat<LaneVector>(l);
    for (int k = 0; k < roundUpToFour(n); k += 4)
        store(out + k, load(s + k) * level + load(acc + k));
}

void ModulationKernels::clamp(float* x, float lo, float hi, int n)
{
    const LaneVector low = splat<LaneVector>(lo);
    const LaneVector high = splat<LaneVector>(hi);
    for (int k = 0; k < roundUpToFour(n); k += 4) {
        LaneVector v = load(x + k);
        // Written so that a NaN fails the first test and becomes lo: a
        // broken source must not hand a NaN on to a filter or a gain.
        v = v > low ? v : low;
        v = v < high ? v : high;
        store(x + k, v);
    }
}

void ModulationKernels::sumDifference(const float* a, const float* b, float* first, float* second, int n)
{
    for (int k = 0; k < roundUpToFour(n); k += 4) {
        const LaneVector va = load(a + k);
        const LaneVector vb = load(b + k);
        store(first + k, va + vb);
        store(second + k, va - vb);
    }
}

void ModulationKernels::gainPan(const float* a, const float* b, float* first, float* second, int n)
{
    const LaneVector zero = splat<LaneVector>(0.0f);
    const LaneVector one = splat<LaneVector>(1.0f);
    for (int k = 0; k < roundUpToFour(n); k += 4) {
        const LaneVector va = load(a + k);
        const LaneVector vb = load(b + k);
        const LaneVector right = blockloops::max(vb, zero);
        const LaneVector left = blockloops::min(vb, zero);
        store(first + k, va * (one - right));
        store(second + k, va * (one + left));
    }
}
