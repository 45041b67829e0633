#pragma once

#include "filters/HalfBandFilter.h"
#include "filters/OversampledClip.h"
#include "wave/LaneVector.h"

#include <cstdint>

#if OSTRAND_KERNEL_VERSIONS
#include <immintrin.h>
#endif

// The half-band filters of the output stage's two-lane run, one sample at a
// time: the way up and the way down, each an object that holds its states
// while a loop runs it. OversampledClip runs them as loops over a block; a
// filter with nothing else in its lanes runs the way up inside its own
// loop, beside its stages (whose recursion leaves most of the processor
// idle). Either way the arithmetic is element for element the same, so
// both give the same samples. Internal to the filters.
// What the evaluation needs of the curve, in registers for the loop, per
// lane: lanes of one stage share a curve, a pair of stages has two.
struct OversampledClip::CurveView {
    LaneVector lower;
    LaneVector upper;
    LaneVector reciprocal;
    LaneVector step;
    const LaneVector* intervals[laneCount];
};

namespace clipsteps {

// The input is held within +-1e6 only so that no state can overflow.
inline constexpr float inputLimit = 1.0e6f;

// Two pairs of lanes side by side, the first stage's in the lower half: the
// two-lane loops run for both at once in registers of eight (with AVX2),
// each half exactly as it would alone.
using TwoPairs = float __attribute__((vector_size(32)));

// Every helper here that takes or gives eight lanes by value is inlined
// into the copy of its caller, as are the loops that run them. Built once
// for any processor and called from the AVX2 copy, such a helper would hand
// its eight lanes back in two 16-byte registers while the caller reads one
// 32-byte register: half the lanes garbage. Inlining on the compiler's
// judgement is not enough (one compiler's flatten inlines only the direct
// calls, and a sanitizer build left the lambdas out of line).
#define OSTRAND_INLINED __attribute__((always_inline))

constexpr int wide(int i)
{
    return i < 4 ? i : i + 4;
}

// Elements a, b, c, d of x and y (0 to 3 from x, 4 to 7 from y), in each half.
template <int A, int B, int C, int D>
inline OSTRAND_INLINED LaneVector mix(LaneVector x, LaneVector y)
{
    return __builtin_shufflevector(x, y, A, B, C, D);
}

template <int A, int B, int C, int D>
inline OSTRAND_INLINED TwoPairs mix(TwoPairs x, TwoPairs y)
{
    return __builtin_shufflevector(x, y, wide(A), wide(B), wide(C), wide(D), wide(A) + 4, wide(B) + 4, wide(C) + 4,
                                   wide(D) + 4);
}

// Lanes 0, 1 of a and of b, in that order.
template <class V>
inline OSTRAND_INLINED V lowHalves(V a, V b)
{
    return mix<0, 1, 4, 5>(a, b);
}

// Lanes 2, 3 of a, in lanes 0, 1 (and again in 2, 3).
template <class V>
inline OSTRAND_INLINED V highHalf(V a)
{
    return mix<2, 3, 2, 3>(a, a);
}

template <class V>
inline OSTRAND_INLINED V lowHalf(V a)
{
    return mix<0, 1, 0, 1>(a, a);
}

template <class V>
inline OSTRAND_INLINED V repeat(LaneVector v)
{
    if constexpr (sizeof(V) == sizeof(LaneVector))
        return v;
    else
        return __builtin_shufflevector(v, v, 0, 1, 2, 3, 0, 1, 2, 3);
}

// One allpass section over packed lanes, as AllpassChain::run does it for
// each: y = (a x + last input) - a last output.
template <class V>
inline OSTRAND_INLINED V allpass(V x, V a, V& lastIn, V& lastOut)
{
    const V y = (a * x + lastIn) - a * lastOut;
    lastIn = x;
    lastOut = y;
    return y;
}

// Non-finite values as 0, then held within +-bound, as isFiniteMask,
// select and clampKeepNaN do it.
template <class V>
inline OSTRAND_INLINED V guardInput(V v, float bound)
{
    const V magnitude = v < 0.0f ? -v : v;
    v = magnitude <= 3.40282347e+38f ? v : V{};
    return clampKeepNaN(v, repeat<V>(splat<LaneVector>(-bound)), repeat<V>(splat<LaneVector>(bound)));
}

// The states of one pair's stage, or of two side by side.
template <class V>
struct PairStates {
    OversampledClip::State* states[2];

    template <class F>
    inline OSTRAND_INLINED V get(F field) const
    {
        if constexpr (sizeof(V) == sizeof(LaneVector))
            return field(*states[0]);
        else
            return __builtin_shufflevector(field(*states[0]), field(*states[1]), 0, 1, 2, 3, 4, 5, 6, 7);
    }
    template <class F>
    inline OSTRAND_INLINED void set(V v, F field) const
    {
        if constexpr (sizeof(V) == sizeof(LaneVector)) {
            field(*states[0]) = v;
        } else {
            field(*states[0]) = __builtin_shufflevector(v, v, 0, 1, 2, 3);
            field(*states[1]) = __builtin_shufflevector(v, v, 4, 5, 6, 7);
        }
    }
};

// The two-lane form (lanes 0 and 1 in use, as every slot of the effect has
// them): two lanes fill half a vector, so each vector carries both
// branches of a half-band filter ({left, right} of branch A, then of
// branch B), or two fourfold samples of both lanes for the curve: half the
// vectors of the four-lane form. Element for element the arithmetic is
// that of the four-lane form, so both give the same samples. Lanes 2 and 3
// of the states come out as garbage; their owner puts them back
// (keepLanes). V = LaneVector for one pair of lanes, TwoPairs for two
// stages' pairs side by side.

// Up to four times the rate: one sample in, its four fourfold samples out
// as two pairs (fourfold samples 4i, 4i + 1 of lanes 0 and 1, then 4i + 2,
// 4i + 3).
template <class V>
class UpSteps {
public:
    using S = OversampledClip::State;

    OSTRAND_INLINED UpSteps(const PairStates<V>& st, const halfband::Coefficients<3>& firstStage,
            const halfband::Coefficients<2>& secondStage)
        // The first section of branch A in lanes 0, 1 and of branch B in
        // lanes 2, 3; branch A's second section of the first stage.
        : first(repeat<V>(LaneVector{firstStage.a[0], firstStage.a[0], firstStage.b[0], firstStage.b[0]})),
          firstSecond(repeat<V>(splat<LaneVector>(firstStage.a[1]))),
          second(repeat<V>(LaneVector{secondStage.a[0], secondStage.a[0], secondStage.b[0], secondStage.b[0]})),
          // The states, packed: [k] is the last input of section k, [k + 1]
          // its last output; A's in lanes 0, 1, B's in lanes 2, 3.
          up1In(lowHalves(st.get([](S& s) -> LaneVector& { return s.up1.a().states()[0]; }),
                          st.get([](S& s) -> LaneVector& { return s.up1.b().states()[0]; }))),
          up1Mid(lowHalves(st.get([](S& s) -> LaneVector& { return s.up1.a().states()[1]; }),
                           st.get([](S& s) -> LaneVector& { return s.up1.b().states()[1]; }))),
          up1Out(st.get([](S& s) -> LaneVector& { return s.up1.a().states()[2]; })),
          up2In(lowHalves(st.get([](S& s) -> LaneVector& { return s.up2.a().states()[0]; }),
                          st.get([](S& s) -> LaneVector& { return s.up2.b().states()[0]; }))),
          up2Out(lowHalves(st.get([](S& s) -> LaneVector& { return s.up2.a().states()[1]; }),
                           st.get([](S& s) -> LaneVector& { return s.up2.b().states()[1]; })))
    {
    }

    // Bounded: the input is known to lie within +-inputLimit or be NaN
    // (the bounded states of a filter's low- or band-pass stage), so that
    // only a NaN needs the guard, which then gives what the whole guard
    // gives in one step instead of four: its chain sits between the
    // filter's stages and this one's, and shorter it keeps more samples
    // under way at once.
    template <bool Bounded = false>
    OSTRAND_INLINED void step(V input, V& pair0, V& pair1)
    {
        quadruple(double_<Bounded>(input), pair0, pair1);
    }

    // The two halves of step, each with its own states, for a loop that
    // runs them on different samples.
    template <bool Bounded = false>
    OSTRAND_INLINED V double_(V input)
    {
        const V v = lowHalf(Bounded ? (input == input ? input : V{}) : guardInput(input, inputLimit));
        // Up to twice the rate: branch A (two sections) gives the even
        // sample, B (one) the odd one.
        const V oldMid = up1Mid;
        const V s1 = allpass(v, first, up1In, up1Mid);
        const V s2 = (firstSecond * s1 + oldMid) - firstSecond * up1Out;
        up1Out = s2;
        return mix<0, 1, 6, 7>(s2, s1);
    }

    OSTRAND_INLINED void quadruple(V twice, V& pair0, V& pair1)
    {
        // Up to four times: each sample at twice the rate gives a pair.
        pair0 = allpass(lowHalf(twice), second, up2In, up2Out);
        pair1 = allpass(highHalf(twice), second, up2In, up2Out);
    }

    // Back into the lanes' own arrangement.
    OSTRAND_INLINED void store(const PairStates<V>& st) const
    {
        st.set(up1In, [](S& s) -> LaneVector& { return s.up1.a().states()[0]; });
        st.set(up1Mid, [](S& s) -> LaneVector& { return s.up1.a().states()[1]; });
        st.set(up1Out, [](S& s) -> LaneVector& { return s.up1.a().states()[2]; });
        st.set(highHalf(up1In), [](S& s) -> LaneVector& { return s.up1.b().states()[0]; });
        st.set(highHalf(up1Mid), [](S& s) -> LaneVector& { return s.up1.b().states()[1]; });
        st.set(up2In, [](S& s) -> LaneVector& { return s.up2.a().states()[0]; });
        st.set(up2Out, [](S& s) -> LaneVector& { return s.up2.a().states()[1]; });
        st.set(highHalf(up2In), [](S& s) -> LaneVector& { return s.up2.b().states()[0]; });
        st.set(highHalf(up2Out), [](S& s) -> LaneVector& { return s.up2.b().states()[1]; });
    }

private:
    V first;
    V firstSecond;
    V second;
    V up1In;
    V up1Mid;
    V up1Out;
    V up2In;
    V up2Out;
};

// Down from the curve's two pairs of a sample to that sample, the DC
// blocker included.
template <class V>
class DownSteps {
public:
    using S = OversampledClip::State;

    OSTRAND_INLINED DownSteps(const PairStates<V>& st, const halfband::Coefficients<3>& firstStage, float dcPole)
        : first(repeat<V>(LaneVector{firstStage.a[0], firstStage.a[0], firstStage.b[0], firstStage.b[0]})),
          firstSecond(repeat<V>(splat<LaneVector>(firstStage.a[1]))), half(repeat<V>(splat<LaneVector>(0.5f))),
          pole(repeat<V>(splat<LaneVector>(dcPole))),
          down1In(lowHalves(st.get([](S& s) -> LaneVector& { return s.down1.a().states()[0]; }),
                            st.get([](S& s) -> LaneVector& { return s.down1.b().states()[0]; }))),
          down1Mid(lowHalves(st.get([](S& s) -> LaneVector& { return s.down1.a().states()[1]; }),
                             st.get([](S& s) -> LaneVector& { return s.down1.b().states()[1]; }))),
          down1Out(st.get([](S& s) -> LaneVector& { return s.down1.a().states()[2]; })),
          // The short filter's history, two samples to a vector: the
          // fourfold curve outputs c[-4], c[-2] (even), c[-3], c[-1] (odd)
          // and c[-5], c[-3].
          downEven(lowHalves(history(st, 1), history(st, 3))), downOdd(lowHalves(history(st, 2), history(st, 4))),
          downShifted(lowHalves(history(st, 0), history(st, 2))),
          pending1(st.get([](S& s) -> LaneVector& { return s.down1.pending(); })),
          dcIn(st.get([](S& s) -> LaneVector& { return s.dcInput; })),
          dcOut(st.get([](S& s) -> LaneVector& { return s.dcOutput; }))
    {
    }

    // A sample's way down in three parts, each with its own states, so that
    // a loop can run them on different samples (see downLoop): the short
    // filter down to twice the rate, the half-band filter down to the base
    // rate, and the DC blocker.
    OSTRAND_INLINED V decimate(V p0, V p1)
    {
        // Down to twice the rate: outputs centred on c[4i - 2] and c[4i].
        const V even = lowHalves(p0, p1);
        const V odd = mix<2, 3, 6, 7>(p0, p1);
        const V shiftedOdd = mix<2, 3, 4, 5>(downOdd, odd);
        const V centre = mix<2, 3, 4, 5>(downEven, even);
        // (-1, 0, 9, 16, 9, 0, -1) / 32, as the four-lane form has it.
        const V d = (0.5f * centre + (9.0f / 32.0f) * (downOdd + shiftedOdd)) - (1.0f / 32.0f) * (downShifted + odd);
        downEven = even;
        downOdd = odd;
        downShifted = shiftedOdd;
        return d;
    }

    // What decimate gave, through the half-band filter: its two branches'
    // outputs.
    OSTRAND_INLINED void halfBand(V d, V& t1, V& t2)
    {
        // Down to the base rate, as the first stage up but mirrored.
        const V in = lowHalves(d, pending1);
        pending1 = highHalf(d);
        const V oldDownMid = down1Mid;
        t1 = allpass(in, first, down1In, down1Mid);
        t2 = (firstSecond * t1 + oldDownMid) - firstSecond * down1Out;
        down1Out = t2;
    }

    OSTRAND_INLINED V blockDc(V t1, V t2)
    {
        // The DC blocker, as the four-lane form has it; its recursion runs
        // beside the half-band filter's instead of after it.
        const V y = half * (t2 + highHalf(t1));
        dcOut = y - dcIn + pole * dcOut;
        dcIn = y;
        return dcOut;
    }

    OSTRAND_INLINED void store(const PairStates<V>& st) const
    {
        st.set(downShifted, [](S& s) -> LaneVector& { return s.downHistory[0]; });
        st.set(downEven, [](S& s) -> LaneVector& { return s.downHistory[1]; });
        st.set(downOdd, [](S& s) -> LaneVector& { return s.downHistory[2]; });
        st.set(highHalf(downEven), [](S& s) -> LaneVector& { return s.downHistory[3]; });
        st.set(highHalf(downOdd), [](S& s) -> LaneVector& { return s.downHistory[4]; });
        st.set(down1In, [](S& s) -> LaneVector& { return s.down1.a().states()[0]; });
        st.set(down1Mid, [](S& s) -> LaneVector& { return s.down1.a().states()[1]; });
        st.set(down1Out, [](S& s) -> LaneVector& { return s.down1.a().states()[2]; });
        st.set(highHalf(down1In), [](S& s) -> LaneVector& { return s.down1.b().states()[0]; });
        st.set(highHalf(down1Mid), [](S& s) -> LaneVector& { return s.down1.b().states()[1]; });
        st.set(pending1, [](S& s) -> LaneVector& { return s.down1.pending(); });
        st.set(dcIn, [](S& s) -> LaneVector& { return s.dcInput; });
        // A state that is no longer finite (only a NaN can make it so, and
        // the stage reads those as 0) starts again from silence.
        const V magnitude = dcOut < 0.0f ? -dcOut : dcOut;
        st.set(magnitude <= 3.40282347e+38f ? dcOut : V{}, [](S& s) -> LaneVector& { return s.dcOutput; });
    }

private:
    static OSTRAND_INLINED V history(const PairStates<V>& st, int k)
    {
        return st.get([k](S& s) -> LaneVector& { return s.downHistory[k]; });
    }

    V first;
    V firstSecond;
    V half;
    V pole;
    V down1In;
    V down1Mid;
    V down1Out;
    V downEven;
    V downOdd;
    V downShifted;
    V pending1;
    V dcIn;
    V dcOut;
};

// The curve saturates at +-40 (its table's ends); beyond +-64 the argument
// is held, which keeps the integral's digits.
inline constexpr float argumentLimit = 64.0f;
// Below this distance between two arguments the integral's difference has
// lost too many digits (the integral reaches a few hundred at the table's
// ends); the mean of the two curve values is exact there to 1e-5.
inline constexpr float closeArguments = 1.0f / 64.0f;

using CurveView = OversampledClip::CurveView;

// The curve's integral and value at x, per lane.
struct CurvePoint {
    LaneVector integral;
    LaneVector value;
};

// Lanes 0 and 2 read curve a, lanes 1 and 3 curve b (the lane order of the
// two-lane run).
inline CurveView view(const ClipCurve& a, const ClipCurve& b)
{
    const auto rows = [](const ClipCurve& c) { return reinterpret_cast<const LaneVector*>(c.data()); };
    return {LaneVector{a.lower(), b.lower(), a.lower(), b.lower()},
            LaneVector{a.upper(), b.upper(), a.upper(), b.upper()},
            LaneVector{a.reciprocalStep(), b.reciprocalStep(), a.reciprocalStep(), b.reciprocalStep()},
            LaneVector{a.step(), b.step(), a.step(), b.step()},
            {rows(a), rows(b), rows(a), rows(b)}};
}

inline CurveView view(const ClipCurve& curve)
{
    return view(curve, curve);
}


#if OSTRAND_KERNEL_VERSIONS
// With AVX2, the two pairs of a sample fill one eight-lane register, so the
// curve is evaluated once per sample instead of twice. Element for element
// the operations are those of the form for any processor (evaluate and
// meanBetween, in the same order, without fused multiply-adds), so both
// give the same samples.

// Eight lanes from the four of v, twice.
__attribute__((target("avx2"), always_inline)) inline __m256 twice(LaneVector v)
{
    return _mm256_broadcast_ps(reinterpret_cast<const __m128*>(&v));
}

// Each lane's previous fourfold sample: lanes 6, 7 of a, then lanes 0 to 5
// of b.
__attribute__((target("avx2"), always_inline)) inline __m256 previousOf(__m256 a, __m256 b)
{
    return _mm256_shuffle_ps(_mm256_permute2f128_ps(a, b, 0x21), b, _MM_SHUFFLE(1, 0, 3, 2));
}

// One sample's eight arguments and what the table holds for them: the
// first half of the curve's work, all loads and shuffles.
struct Lookup {
    __m256 argument;
    __m256 inside;  // within the table
    __m256 t;       // the position within the interval
    __m256 start;   // the interval's integral, value and rise
    __m256 value;
    __m256 rise;
};

struct LookupConstants {
    __m256 drive;
    __m256 lower;
    __m256 upper;
    __m256 reciprocal;
    const char* rows[laneCount];  // lanes k and k + 4 read rows[k]
};

__attribute__((target("avx2"), always_inline)) inline LookupConstants lookupConstants(LaneVector drive2,
                                                                                      const CurveView& shape)
{
    return {twice(drive2),
            twice(shape.lower),
            twice(shape.upper),
            twice(shape.reciprocal),
            {reinterpret_cast<const char*>(shape.intervals[0]), reinterpret_cast<const char*>(shape.intervals[1]),
             reinterpret_cast<const char*>(shape.intervals[2]), reinterpret_cast<const char*>(shape.intervals[3])}};
}

// The eight arguments of the fourfold values, and their intervals: an
// aligned load per lane (its table's base plus the interval's offset), then
// a transpose that sorts the three numbers into integral, value and rise
// across the lanes.
__attribute__((target("avx2"), always_inline)) inline Lookup lookUp(__m256 fourfold, const LookupConstants& k)
{
    Lookup r;
    const __m256 limit = _mm256_set1_ps(argumentLimit);
    r.argument = _mm256_max_ps(-limit, _mm256_min_ps(limit, _mm256_mul_ps(fourfold, k.drive)));
    r.inside = _mm256_max_ps(k.lower, _mm256_min_ps(k.upper, r.argument));
    const __m256 position = _mm256_mul_ps(_mm256_sub_ps(r.inside, k.lower), k.reciprocal);
    // position >= 0, so truncation floors; at the upper end the guard
    // interval (rise 0) is read with weight 0.
    const __m256i index = _mm256_cvttps_epi32(position);
    r.t = _mm256_sub_ps(position, _mm256_cvtepi32_ps(index));
    const __m256i offset = _mm256_slli_epi32(index, 4);
    const __m128i low = _mm256_castsi256_si128(offset);
    const __m128i high = _mm256_extracti128_si256(offset, 1);
    // Two 32-bit offsets per 64-bit move to a general register.
    const auto first = static_cast<std::uint64_t>(_mm_cvtsi128_si64(low));
    const auto second = static_cast<std::uint64_t>(_mm_extract_epi64(low, 1));
    const auto third = static_cast<std::uint64_t>(_mm_cvtsi128_si64(high));
    const auto fourth = static_cast<std::uint64_t>(_mm_extract_epi64(high, 1));
    const auto row = [&k](int lane, std::uint64_t offsets, int half) {
        return _mm_load_ps(
            reinterpret_cast<const float*>(k.rows[lane] + static_cast<std::uint32_t>(offsets >> (32 * half))));
    };
    const __m256 r04 = _mm256_insertf128_ps(_mm256_castps128_ps256(row(0, first, 0)), row(0, third, 0), 1);
    const __m256 r15 = _mm256_insertf128_ps(_mm256_castps128_ps256(row(1, first, 1)), row(1, third, 1), 1);
    const __m256 r26 = _mm256_insertf128_ps(_mm256_castps128_ps256(row(2, second, 0)), row(2, fourth, 0), 1);
    const __m256 r37 = _mm256_insertf128_ps(_mm256_castps128_ps256(row(3, second, 1)), row(3, fourth, 1), 1);
    const __m256 lo01 = _mm256_unpacklo_ps(r04, r15);
    const __m256 lo23 = _mm256_unpacklo_ps(r26, r37);
    const __m256 hi01 = _mm256_unpackhi_ps(r04, r15);
    const __m256 hi23 = _mm256_unpackhi_ps(r26, r37);
    r.start = _mm256_shuffle_ps(lo01, lo23, _MM_SHUFFLE(1, 0, 1, 0));
    r.value = _mm256_shuffle_ps(lo01, lo23, _MM_SHUFFLE(3, 2, 3, 2));
    r.rise = _mm256_shuffle_ps(hi01, hi23, _MM_SHUFFLE(1, 0, 1, 0));
    return r;
}

// The second half: the curve's value and integral from the interval, the
// mean from each lane's previous fourfold value, times the gain.
class CurveMeans {
public:
    CurveMeans() = default;
    __attribute__((target("avx2"), always_inline)) CurveMeans(LaneVector gain2, const CurveView& shape,
                                                               LaneVector last, const CurvePoint& lastPoint)
        : gain(twice(gain2)), step(twice(shape.step)), lastArgument(twice(last)),
          lastIntegral(twice(lastPoint.integral)), lastValue(twice(lastPoint.value))
    {
    }

    __attribute__((target("avx2"), always_inline)) __m256 mean(const Lookup& here)
    {
        const __m256 half = _mm256_set1_ps(0.5f);
        // evaluate()
        const __m256 value = _mm256_add_ps(here.value, _mm256_mul_ps(here.rise, here.t));
        const __m256 area = _mm256_add_ps(
            here.start,
            _mm256_mul_ps(_mm256_mul_ps(step, here.t),
                          _mm256_add_ps(here.value, _mm256_mul_ps(_mm256_mul_ps(half, here.rise), here.t))));
        const __m256 integral = _mm256_add_ps(area, _mm256_mul_ps(value, _mm256_sub_ps(here.argument, here.inside)));
        // meanBetween()
        const __m256 x = here.argument;
        const __m256 d = _mm256_sub_ps(x, previousOf(lastArgument, x));
        const __m256 distance = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), d);
        const __m256 quotient = _mm256_div_ps(_mm256_sub_ps(integral, previousOf(lastIntegral, integral)), d);
        const __m256 middle = _mm256_mul_ps(half, _mm256_add_ps(value, previousOf(lastValue, value)));
        const __m256 mean =
            _mm256_blendv_ps(middle, quotient, _mm256_cmp_ps(distance, _mm256_set1_ps(closeArguments), _CMP_GT_OQ));
        lastArgument = x;
        lastIntegral = integral;
        lastValue = value;
        return _mm256_mul_ps(mean, gain);
    }

    __attribute__((target("avx2"), always_inline)) void save(LaneVector& last, CurvePoint& lastPoint) const
    {
        last = _mm256_extractf128_ps(lastArgument, 1);
        lastPoint = {_mm256_extractf128_ps(lastIntegral, 1), _mm256_extractf128_ps(lastValue, 1)};
    }

private:
    __m256 gain;
    __m256 step;
    __m256 lastArgument;
    __m256 lastIntegral;
    __m256 lastValue;
};

#endif

}  // namespace clipsteps
