#pragma once

#include <cstdint>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

// Four single-precision lanes in one register, written with the compiler's
// vector extension so the same source compiles to SSE on x86-64 and NEON on
// ARM64. The filter kernels are templates over the lane type: instantiated
// with float they are the one-lane filter, with LaneVector the four-lane one.
// Every operation below is lane-wise IEEE arithmetic, so lane k of a
// four-lane run is bit-for-bit what a one-lane run of the same data gives.

using LaneVector = float __attribute__((vector_size(16)));
using LaneMask = int32_t __attribute__((vector_size(16)));

inline constexpr int laneCount = 4;

template <class V>
inline V splat(float x)
{
    if constexpr (sizeof(V) == sizeof(float))
        return x;
    else
        return V{x, x, x, x};
}

// Clamps without hiding a NaN: a NaN state must stay visible so that the
// per-segment check (isFiniteMask) can reset its lane. Infinities clamp.
// Always inlined: the AVX2 copies of the filter kernels clamp eight lanes
// with it, which a copy built for any processor would pass differently.
template <class V>
inline __attribute__((always_inline)) V clampKeepNaN(V x, V lo, V hi)
{
#if defined(__SSE__)
    // The processor's min and max answer exactly these comparisons (the
    // second operand where one is NaN), in one instruction each instead of
    // a comparison and a blend.
    if constexpr (sizeof(V) == sizeof(LaneVector))
        return _mm_max_ps(lo, _mm_min_ps(hi, x));
#endif
    x = x > hi ? hi : x;
    return x < lo ? lo : x;
}

// All-ones where |x| is finite, 0 elsewhere (NaN compares false).
inline LaneMask isFiniteMask(LaneVector x)
{
    const LaneVector magnitude = x < 0.0f ? -x : x;
    return magnitude <= splat<LaneVector>(3.40282347e+38f);
}

inline bool isFinite(float x)
{
    const float magnitude = x < 0.0f ? -x : x;
    return magnitude <= 3.40282347e+38f;
}

inline LaneVector select(LaneMask mask, LaneVector a, LaneVector b)
{
    return mask ? a : b;
}

inline float select(bool mask, float a, float b)
{
    return mask ? a : b;
}

inline bool anyLane(LaneMask m)
{
    return (m[0] | m[1] | m[2] | m[3]) != 0;
}
