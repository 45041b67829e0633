#pragma once

#include "wave/LaneVector.h"

#include <cstdint>
#include <cstring>

// Four-sample loops over graph blocks. Every wave::Block is padded to whole
// cache lines, so a loop over a block may run to the sample count rounded up
// to four: the extra samples are scratch space nobody reads. Loads and stores
// go through memcpy, which compiles to single vector moves.
namespace blockloops {

inline int roundUpToFour(int n)
{
    return (n + 3) & ~3;
}

inline LaneVector load(const float* p)
{
    LaneVector v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store(float* p, LaneVector v)
{
    std::memcpy(p, &v, sizeof v);
}

inline LaneVector abs(LaneVector v)
{
    return v < 0.0f ? -v : v;
}

// |v| by clearing the sign bit: one instruction where abs takes a comparison
// and a blend. Differs from abs only in the sign of a NaN and of -0.
inline LaneVector magnitude(LaneVector v)
{
    constexpr std::int32_t signless = 0x7fffffff;
    return reinterpret_cast<LaneVector>(reinterpret_cast<LaneMask>(v) & LaneMask{signless, signless, signless, signless});
}

inline LaneVector min(LaneVector a, LaneVector b)
{
#if defined(__SSE__)
    // The processor's min answers exactly this comparison (b where a is NaN
    // or equal) in one instruction; written as a comparison, g++ makes it a
    // comparison and a blend of three.
    return _mm_min_ps(a, b);
#else
    return a < b ? a : b;
#endif
}

inline LaneVector max(LaneVector a, LaneVector b)
{
    return a > b ? a : b;
}

// Whether the n samples at p all equal the first.
inline bool holdsOneValue(const float* p, int n)
{
    const LaneVector first = splat<LaneVector>(p[0]);
    int i = 0;
    for (; i + 4 <= n; i += 4)
        if (anyLane(load(p + i) != first))
            return false;
    for (; i < n; ++i)
        if (p[i] != p[0])
            return false;
    return true;
}

// out = in · g
inline void multiply(float* out, const float* in, const float* g, int n)
{
    for (int i = 0; i < n; i += 4)
        store(out + i, load(in + i) * load(g + i));
}

// out = in · g for a scalar g
inline void scale(float* out, const float* in, float g, int n)
{
    const LaneVector gain = splat<LaneVector>(g);
    for (int i = 0; i < n; i += 4)
        store(out + i, load(in + i) * gain);
}

// out += in · g
inline void multiplyAdd(float* out, const float* in, const float* g, int n)
{
    for (int i = 0; i < n; i += 4)
        store(out + i, load(out + i) + load(in + i) * load(g + i));
}

// out = a + (b - a) · t: a crossfade from a (t = 0) to b (t = 1)
inline void blend(float* out, const float* a, const float* b, const float* t, int n)
{
    for (int i = 0; i < n; i += 4) {
        const LaneVector x = load(a + i);
        store(out + i, x + (load(b + i) - x) * load(t + i));
    }
}

} // namespace blockloops
