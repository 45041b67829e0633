#include "modulation/ModulationKernels.h"

#include <cstring>

namespace {

using Float4 = float __attribute__((vector_size(16)));

// Through memcpy, so the float arrays are never accessed as another type;
// the alignment promise lets the compiler use aligned vector moves.
inline Float4 load(const float* p)
{
    Float4 v;
    std::memcpy(&v, __builtin_assume_aligned(p, 16), sizeof v);
    return v;
}

inline void store(float* p, Float4 v)
{
    std::memcpy(__builtin_assume_aligned(p, 16), &v, sizeof v);
}

inline Float4 splat(float x)
{
    return Float4{x, x, x, x};
}

inline int groups(int n)
{
    return n > 0 ? (n + 3) / 4 : 0;
}

} // namespace

void ModulationKernels::multiplyAdd(const float* s, const float* l, const float* acc, float* out, int n)
{
    for (int g = 0, k = 0; g < groups(n); ++g, k += 4)
        store(out + k, load(s + k) * load(l + k) + load(acc + k));
}

void ModulationKernels::multiplyAddScalar(const float* s, float l, const float* acc, float* out, int n)
{
    const Float4 level = splat(l);
    for (int g = 0, k = 0; g < groups(n); ++g, k += 4)
        store(out + k, load(s + k) * level + load(acc + k));
}

void ModulationKernels::clamp(float* x, float lo, float hi, int n)
{
    const Float4 low = splat(lo);
    const Float4 high = splat(hi);
    for (int g = 0, k = 0; g < groups(n); ++g, k += 4) {
        Float4 v = load(x + k);
        // Written so that a NaN fails the first test and becomes lo: a
        // broken source must not hand a NaN on to a filter or a gain.
        v = v > low ? v : low;
        v = v < high ? v : high;
        store(x + k, v);
    }
}

void ModulationKernels::sumDifference(const float* a, const float* b, float* first, float* second, int n)
{
    for (int g = 0, k = 0; g < groups(n); ++g, k += 4) {
        const Float4 va = load(a + k);
        const Float4 vb = load(b + k);
        store(first + k, va + vb);
        store(second + k, va - vb);
    }
}

void ModulationKernels::gainPan(const float* a, const float* b, float* first, float* second, int n)
{
    const Float4 zero = splat(0.0f);
    const Float4 one = splat(1.0f);
    for (int g = 0, k = 0; g < groups(n); ++g, k += 4) {
        const Float4 va = load(a + k);
        const Float4 vb = load(b + k);
        const Float4 right = vb > zero ? vb : zero; // max(b, 0)
        const Float4 left = vb < zero ? vb : zero;  // min(b, 0)
        store(first + k, va * (one - right));
        store(second + k, va * (one + left));
    }
}
