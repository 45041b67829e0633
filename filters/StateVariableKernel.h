#pragma once

#include "filters/FunctionTable.h"
#include "wave/LaneVector.h"

#include <bit>
#include <utility>

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

// Without the cubic term the three passes of a stage are affine in the
// states and the input: each of the new low and band states, and the
// high-pass value, is a weighted sum of the old low state, the old band
// state and the input plus a constant (what the anti-denormal offsets leave).
// So one step of three multiply-adds replaces the three passes, whose
// dependent chain is several times longer; only the rounding differs. The
// weights are found in double precision by running the passes on unit
// states and input, once per segment. Each state is updated by what it
// gains (its own weight less 1), as the passes do: at low cut-offs its
// weight lies within 1e-4 of 1, and rounded to a float it would move the
// filter's poles audibly.
struct LinearWeights {
    LaneVector low[4];   // the low state's gain: times low (less 1), band, input; constant
    LaneVector band[4];  // the band state's: times low, band (less 1), input; constant
    LaneVector high[4];  // the high-pass value: times low, band, input; constant
};

// The weights of one lane, for its f and q.
inline void linearWeights(LinearWeights& w, int lane, float f, float q)
{
    const double fl = f;
    const double ql = q;
    const double eps = antiDenormal;
    // The passes of stageSample without the cubic term and the bounds.
    auto passes = [&](double l, double b, double u, double& high) {
        l = l + fl * (b - eps);
        b = b + fl * (u - ql * b - l);
        l = l + fl * b;
        b = b + fl * (u - ql * b - l);
        l = l + fl * b;
        high = u - ql * b - l;
        b = b + fl * high + eps;
        return std::pair{l, b};
    };
    double h0, hl, hb, hu;
    const auto [l0, b0] = passes(0.0, 0.0, 0.0, h0);
    const auto [ll, bl] = passes(1.0, 0.0, 0.0, hl);
    const auto [lb, bb] = passes(0.0, 1.0, 0.0, hb);
    const auto [lu, bu] = passes(0.0, 0.0, 1.0, hu);
    const double lows[4] = {(ll - l0) - 1.0, lb - l0, lu - l0, l0};
    const double bands[4] = {bl - b0, (bb - b0) - 1.0, bu - b0, b0};
    const double highs[4] = {hl - h0, hb - h0, hu - h0, h0};
    for (int k = 0; k < 4; ++k) {
        w.low[k][lane] = static_cast<float>(lows[k]);
        w.band[k][lane] = static_cast<float>(bands[k]);
        w.high[k][lane] = static_cast<float>(highs[k]);
    }
}

// The weights of the values a filter's stages last had: a steady filter
// meets the same values block after block, and working the weights out
// costs more than a small block's samples; in a shared pass a new segment
// of one filter leaves the other filters' lanes as they were. Kept per lane
// with the bits of the values they came from, so what it returns is exactly
// what working them out would give. One entry per stage.
class WeightCache {
public:
    const LinearWeights& weights(int stage, LaneVector f, LaneVector q)
    {
        Entry& e = entries[stage];
        const auto fBits = std::bit_cast<LaneMask>(f);
        const auto qBits = std::bit_cast<LaneMask>(q);
        const LaneMask changed = (e.f != fBits) | (e.q != qBits) | ~e.filled;
        if (anyLane(changed)) {
            for (int lane = 0; lane < laneCount; ++lane) {
                if (changed[lane])
                    linearWeights(e.w, lane, f[lane], q[lane]);
            }
            e.f = fBits;
            e.q = qBits;
            e.filled = LaneMask{-1, -1, -1, -1};
        }
        return e.w;
    }

private:
    struct Entry {
        LinearWeights w;
        // Compared before the first fill too: an indeterminate value there
        // would make the whole comparison undefined, not just its lanes.
        LaneMask f = {};
        LaneMask q = {};
        LaneMask filled = {};
    };
    Entry entries[4];
};

// One sample through one stage without the cubic term, in one step (see
// LinearWeights); the same bounds and output taps as stageSample.
template <int T>
inline LaneVector linearStageSample(LaneVector& lowState, LaneVector& bandState, LaneVector u, const LinearWeights& w)
{
    const LaneVector l = lowState;
    const LaneVector b = bandState;
    const LaneVector nl = l + ((w.low[0] * l + w.low[1] * b) + (w.low[2] * u + w.low[3]));
    const LaneVector nb = b + ((w.band[0] * l + w.band[1] * b) + (w.band[2] * u + w.band[3]));
    bandState = clampKeepNaN(nb, splat<LaneVector>(-1.0f), splat<LaneVector>(1.0f));
    lowState = clampKeepNaN(nl, splat<LaneVector>(-10.0f), splat<LaneVector>(10.0f));
    if constexpr (T == lowTap)
        return lowState;
    else if constexpr (T == highTap)
        return w.high[0] * l + w.high[1] * b + (w.high[2] * u + w.high[3]);
    else
        return bandState;
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
