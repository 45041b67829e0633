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

namespace {

// acc plus what `add` adds to four samples at k, clamped or not, four at a time.
template <bool Clamped, class Add>
void sumInto(const float* acc, float* out, float lo, float hi, int n, Add add)
{
    const LaneVector low = splat<LaneVector>(lo);
    const LaneVector high = splat<LaneVector>(hi);
    for (int k = 0; k < roundUpToFour(n); k += 4) {
        LaneVector v = add(load(acc + k), k);
        if (Clamped) {
            v = v > low ? v : low;
            v = v < high ? v : high;
        }
        store(out + k, v);
    }
}

// One and two signals (nearly every target) with their levels held in
// registers; more in a loop.
template <bool Clamped>
void sumScaledInto(const float* const* s, const float* l, int count, const float* acc, float* out, float lo,
                   float hi, int n)
{
    if (count == 1) {
        const float* s0 = s[0];
        const LaneVector l0 = splat<LaneVector>(l[0]);
        sumInto<Clamped>(acc, out, lo, hi, n, [&](LaneVector v, int k) { return load(s0 + k) * l0 + v; });
    } else if (count == 2) {
        const float* s0 = s[0];
        const float* s1 = s[1];
        const LaneVector l0 = splat<LaneVector>(l[0]);
        const LaneVector l1 = splat<LaneVector>(l[1]);
        sumInto<Clamped>(acc, out, lo, hi, n,
                         [&](LaneVector v, int k) { return load(s1 + k) * l1 + (load(s0 + k) * l0 + v); });
    } else {
        sumInto<Clamped>(acc, out, lo, hi, n, [&](LaneVector v, int k) {
            for (int j = 0; j < count; ++j)
                v = load(s[j] + k) * splat<LaneVector>(l[j]) + v;
            return v;
        });
    }
}

} // namespace

void ModulationKernels::sumScaled(const float* const* s, const float* l, int count, const float* acc, float* out,
                                  int n)
{
    sumScaledInto<false>(s, l, count, acc, out, 0.0f, 0.0f, n);
}

void ModulationKernels::sumScaledClamped(const float* const* s, const float* l, int count, const float* acc,
                                         float* out, float lo, float hi, int n)
{
    sumScaledInto<true>(s, l, count, acc, out, lo, hi, n);
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
