#pragma once

#include "filters/FunctionTable.h"
#include "wave/LaneVector.h"

// The arithmetic of the state-variable filter, written once over a lane type
// V (float for one lane, LaneVector for four). Internal to the filter; kept
// apart so that the orchestration in StateVariableFilter.cpp stays readable.
namespace svfkernel {

enum Tap { lowTap = 0, highTap = 1, bandTap = 2 };

// Keeps the states away from zero (and out of the denormal range) without
// touching the processor's control word, in every lane form alike.
inline constexpr float antiDenormal = 1e-24f;

// One sample through one stage: three passes of the two-integrator loop with
// the input held (the filter runs at three times the sample rate). With
// Cubic, the band-pass state is softened by c band^3 on every pass, always
// using the band value from before that pass. Band is bounded to +-1 and low
// to +-10 after the third pass only.
template <class V, int T, bool Cubic>
inline V stageSample(V& lowState, V& bandState, V u, V f, V q, V c)
{
    V l = lowState;
    V b = bandState;
    const V eps = splat<V>(antiDenormal);

    l = l + f * (b - eps);
    V nb = b + f * (u - q * b - l);
    if constexpr (Cubic)
        nb = nb - c * b * b * b;
    b = nb;

    l = l + f * b;
    nb = b + f * (u - q * b - l);
    if constexpr (Cubic)
        nb = nb - c * b * b * b;
    b = nb;

    l = l + f * b;
    const V h = u - q * b - l;
    nb = b + f * h;
    if constexpr (Cubic)
        nb = nb - c * b * b * b;
    b = nb + eps;

    b = clampKeepNaN(b, splat<V>(-1.0f), splat<V>(1.0f));
    l = clampKeepNaN(l, splat<V>(-10.0f), splat<V>(10.0f));
    lowState = l;
    bandState = b;
    if constexpr (T == lowTap)
        return l;
    else if constexpr (T == highTap)
        return h;  // not bounded
    else
        return b;
}

// The states a stage takes when the slope is raised and it joins the
// cascade behind `before`, whose input at the last sample was `beforeInput`
// and whose damping is qBefore (q is the joining stage's own). Its first
// output then continues the output of the stage before it:
// - low-pass: the same states, so the low state and its rise per pass
//   (f band) go on unchanged;
// - band-pass: the same band state, and a low state that gives the band
//   state the same drive (input - q band - low) with the joining stage's
//   own input and damping, so the band state's rise goes on unchanged too;
// - high-pass: empty states, so the stage passes its input straight
//   through at first. Continuing the output's rise as well would take a
//   band state of q times the output, far more than the stage ever holds
//   on a signal in its pass band, and that would ring afterwards.
// Whole vectors, so every lane is seeded from its own states.
template <int T>
inline void seedStage(LaneVector& low, LaneVector& band, const LaneVector& beforeLow,
                      const LaneVector& beforeBand, LaneVector beforeInput, LaneVector q, LaneVector qBefore)
{
    const LaneVector zero = splat<LaneVector>(0.0f);
    if constexpr (T == lowTap) {
        low = beforeLow;
        band = beforeBand;
    } else if constexpr (T == highTap) {
        low = zero;
        band = zero;
    } else {
        // The joining stage's input is the band state before it.
        const LaneVector l = beforeLow + (beforeBand - beforeInput) - (q - qBefore) * beforeBand;
        // An input that was not finite leaves the low state empty; the
        // bound is the one every pass applies.
        const LaneVector bounded = clampKeepNaN(l, splat<LaneVector>(-10.0f), splat<LaneVector>(10.0f));
        low = select(isFiniteMask(l), bounded, zero);
        band = beforeBand;
    }
}

}  // namespace svfkernel
