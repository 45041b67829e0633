#pragma once

#include "filters/HalfBandFilter.h"
#include "filters/OversampledClip.h"
#include "wave/LaneVector.h"

// The half-band filters of the output stage's two-lane run, one sample at a
// time: the way up and the way down, each an object that holds its states
// while a loop runs it. OversampledClip runs them as loops over a block; a
// filter with nothing else in its lanes runs the way up inside its own
// loop, beside its stages (whose recursion leaves most of the processor
// idle). Either way the arithmetic is element for element the same, so
// both give the same samples. Internal to the filters.
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
        const V v = lowHalf(Bounded ? (input == input ? input : V{}) : guardInput(input, inputLimit));
        // Up to twice the rate: branch A (two sections) gives the even
        // sample, B (one) the odd one.
        const V oldMid = up1Mid;
        const V s1 = allpass(v, first, up1In, up1Mid);
        const V s2 = (firstSecond * s1 + oldMid) - firstSecond * up1Out;
        up1Out = s2;
        const V twice = mix<0, 1, 6, 7>(s2, s1);
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

    OSTRAND_INLINED V step(V p0, V p1)
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
        // Down to the base rate, as the first stage up but mirrored.
        const V in = lowHalves(d, pending1);
        pending1 = highHalf(d);
        const V oldDownMid = down1Mid;
        const V t1 = allpass(in, first, down1In, down1Mid);
        const V t2 = (firstSecond * t1 + oldDownMid) - firstSecond * down1Out;
        down1Out = t2;
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

}  // namespace clipsteps
