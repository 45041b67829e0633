// The eight-wide vectors of two pairs of lanes pass only between helpers
// that are always inlined into their loop (OSTRAND_INLINED in
// OversampledClipSteps.h), so how a call would pass them without AVX never
// matters.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "filters/OversampledClip.h"
#include "filters/OversampledClipSteps.h"

#include "filters/FunctionTable.h"
#include "filters/KernelClones.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <type_traits>

#if OSTRAND_KERNEL_VERSIONS
#include <immintrin.h>
#endif

using namespace clipsteps;

namespace {

// Transition bands of the two elliptic half-band stages, as fractions of
// their higher rate: the first passes up to 0.417 and stops from 0.583 of
// the base rate (20 and 28 kHz at 48 kHz: 49 dB); the second, at twice
// that, only has to stop the images around the doubled rate (73 dB).
constexpr double firstTransition = 1.0 / 12.0;
constexpr double secondTransition = 0.3;

constexpr float dcCorner = 5.0f;  // Hz

}  // namespace

// --- ClipCurve -----------------------------------------------------------------

void ClipCurve::build(const FunctionTable& table)
{
    const int points = table.pointCount();
    const float* v = table.data();
    low = table.lowerBound();
    high = table.upperBound();
    const double w = (static_cast<double>(high) - static_cast<double>(low)) / (points - 1);
    width = static_cast<float>(w);
    reciprocal = table.reciprocalStep();

    // The integral of the linearly interpolated curve, summed in double and
    // taken from 0, where the curve passes through 0, so that the values
    // stay as small (and as precise) as the curve allows.
    std::vector<double> integral(static_cast<std::size_t>(points), 0.0);
    for (int i = 1; i < points; ++i)
        integral[static_cast<std::size_t>(i)] =
            integral[static_cast<std::size_t>(i) - 1] + 0.5 * w * (static_cast<double>(v[i - 1]) + static_cast<double>(v[i]));
    const double p0 = -static_cast<double>(low) / w;
    const int i0 = std::clamp(static_cast<int>(p0), 0, points - 2);
    const double t0 = p0 - i0;
    const double rise0 = static_cast<double>(v[i0 + 1]) - static_cast<double>(v[i0]);
    const double atZero =
        integral[static_cast<std::size_t>(i0)] + w * t0 * (static_cast<double>(v[i0]) + 0.5 * rise0 * t0);

    // One interval per point: the last one, at the upper end, has no rise
    // and is only ever read with weight 0.
    intervals.assign(static_cast<std::size_t>(points), Interval{});
    for (int i = 0; i < points; ++i) {
        Interval& in = intervals[static_cast<std::size_t>(i)];
        in.integral = static_cast<float>(integral[static_cast<std::size_t>(i)] - atZero);
        in.value = v[i];
        in.rise = i + 1 < points ? v[i + 1] - v[i] : 0.0f;
    }
}

float ClipCurve::value(float x) const
{
    const float xc = std::clamp(x, low, high);
    const float p = (xc - low) * reciprocal;
    const int i = std::min(static_cast<int>(p), lastInterval());
    const Interval& in = intervals[static_cast<std::size_t>(i)];
    return in.value + in.rise * (p - static_cast<float>(i));
}

float ClipCurve::integral(float x) const
{
    const float xc = std::clamp(x, low, high);
    const float p = (xc - low) * reciprocal;
    const int i = std::min(static_cast<int>(p), lastInterval());
    const Interval& in = intervals[static_cast<std::size_t>(i)];
    const float t = p - static_cast<float>(i);
    return in.integral + width * t * (in.value + 0.5f * in.rise * t) + (in.value + in.rise * t) * (x - xc);
}

// --- OversampledClip -------------------------------------------------------------

OversampledClip::OversampledClip(int maxBlockLength)
    : firstStage(firstTransition), secondStage(secondTransition),
      doubled(2 * static_cast<std::size_t>(std::max(maxBlockLength, 1))),
      quadrupled(4 * static_cast<std::size_t>(std::max(maxBlockLength, 1)))
{
    setSampleRate(44100.0f);
}

void OversampledClip::setSampleRate(float rate)
{
    dcPole = static_cast<float>(
        std::exp(-2.0 * std::numbers::pi * static_cast<double>(dcCorner) / static_cast<double>(std::max(rate, 1000.0f))));
}

void OversampledClip::reset()
{
    giveBack();
    memory = State{};
    previousCurve = nullptr;
}

namespace {

// A stage's state is nothing but lane vectors, so lanes move between states
// vector by vector, whatever the vector's part.
constexpr std::size_t stateVectors = sizeof(OversampledClip::State) / sizeof(LaneVector);
static_assert(sizeof(OversampledClip::State) == stateVectors * sizeof(LaneVector) &&
              std::is_standard_layout_v<OversampledClip::State>);

LaneVector* vectors(OversampledClip::State& state)
{
    return reinterpret_cast<LaneVector*>(&state);
}

const LaneVector* vectors(const OversampledClip::State& state)
{
    return reinterpret_cast<const LaneVector*>(&state);
}

}  // namespace

void OversampledClip::State::keepLanes(const State& before, LaneMask active)
{
    LaneVector* now = vectors(*this);
    const LaneVector* then = vectors(before);
    for (std::size_t k = 0; k < stateVectors; ++k)
        now[k] = select(active, now[k], then[k]);
}

void OversampledClip::State::copyLane(int to, const State& from, int lane)
{
    LaneVector* now = vectors(*this);
    const LaneVector* source = vectors(from);
#pragma GCC unroll 32
    for (std::size_t k = 0; k < stateVectors; ++k)
        now[k][to] = source[k][lane];
}

namespace {

inline CurvePoint evaluate(LaneVector x, const CurveView& curve)
{
    const LaneVector inside = x < curve.lower ? curve.lower : (x > curve.upper ? curve.upper : x);
    const LaneVector p = (inside - curve.lower) * curve.reciprocal;
    // p >= 0, so truncation floors; at the upper end the guard interval
    // (rise 0) is read with weight 0.
    const LaneMask i = __builtin_convertvector(p, LaneMask);
    const LaneVector t = p - __builtin_convertvector(i, LaneVector);

    // One aligned load per lane brings its interval's three numbers; a
    // transpose sorts them into integral, value and rise across the lanes.
    const LaneVector r0 = curve.intervals[0][i[0]];
    const LaneVector r1 = curve.intervals[1][i[1]];
    const LaneVector r2 = curve.intervals[2][i[2]];
    const LaneVector r3 = curve.intervals[3][i[3]];
    const LaneVector lo01 = __builtin_shufflevector(r0, r1, 0, 4, 1, 5);
    const LaneVector lo23 = __builtin_shufflevector(r2, r3, 0, 4, 1, 5);
    const LaneVector hi01 = __builtin_shufflevector(r0, r1, 2, 6, 3, 7);
    const LaneVector hi23 = __builtin_shufflevector(r2, r3, 2, 6, 3, 7);
    const LaneVector start = __builtin_shufflevector(lo01, lo23, 0, 1, 4, 5);
    const LaneVector value = __builtin_shufflevector(lo01, lo23, 2, 3, 6, 7);
    const LaneVector rise = __builtin_shufflevector(hi01, hi23, 0, 1, 4, 5);

    const LaneVector f = value + rise * t;
    return {start + curve.step * t * (value + 0.5f * rise * t) + f * (x - inside), f};
}

// The mean of the curve between the previous argument and x, which then
// becomes the previous one.
inline LaneVector meanBetween(LaneVector x, const CurvePoint& here, LaneVector previous, const CurvePoint& before)
{
    const LaneVector d = x - previous;
    const LaneVector distance = d < 0.0f ? -d : d;
    const LaneVector quotient = (here.integral - before.integral) / d;  // unused where d is small
    return select(distance > closeArguments, quotient, 0.5f * (here.value + before.value));
}

// The short half-band filter from four times to twice the rate: the
// output centred on `centre`, from its neighbours at distance one and
// three, (-1, 0, 9, 16, 9, 0, -1) / 32.
inline LaneVector decimate(LaneVector centre, LaneVector near, LaneVector nearOther, LaneVector far,
                           LaneVector farOther)
{
    return (0.5f * centre + (9.0f / 32.0f) * (near + nearOther)) - (1.0f / 32.0f) * (far + farOther);
}

inline LaneVector curveMean(LaneVector x, const CurveView& curve, LaneVector& previous, CurvePoint& before)
{
    const CurvePoint here = evaluate(x, curve);
    const LaneVector mean = meanBetween(x, here, previous, before);
    previous = x;
    before = here;
    return mean;
}

}  // namespace

// Stage by stage over the whole run, each loop with only its own states,
// which then stay in registers (sample by sample through all stages they
// would not fit, and the spilling doubled the cost). With lanes 0 and 1
// alone in use, see runTwoLanes.
void OversampledClip::run(LaneVector* work, int begin, int end, LaneVector drive, LaneVector gain,
                          const ClipCurve& curve)
{
    giveBack();
    const int n = end - begin;
    if (n <= 0)
        return;
    LaneVector* x = work + begin;
    LaneVector* twice = doubled.data();
    LaneVector* fourfold = quadrupled.data();
    const LaneVector limit = splat<LaneVector>(argumentLimit);
    const LaneVector bound = splat<LaneVector>(inputLimit);
    const auto c1 = firstStage;
    const auto c2 = secondStage;

    // Drive and gain act together at the fourfold rate, around the curve:
    // applied on both sides of the rate changes they would meet the signal
    // a few samples apart, and a new characteristic's drive would be undone
    // with the old one's gain for those samples (a click).
    auto in1 = memory.up1;
    for (int i = 0; i < n; ++i) {
        LaneVector v = x[i];
        v = select(isFiniteMask(v), v, splat<LaneVector>(0.0f));
        in1.run(clampKeepNaN(v, -bound, bound), c1, twice[2 * i], twice[2 * i + 1]);
    }
    memory.up1 = in1;

    auto in2 = memory.up2;
    for (int j = 0; j < 2 * n; ++j)
        in2.run(twice[j], c2, fourfold[2 * j], fourfold[2 * j + 1]);
    memory.up2 = in2;

    const CurveView shape = view(curve);
    readPrevious(drive, curve);
    LaneVector previous = memory.previousArgument;
    CurvePoint before{memory.previousIntegral, memory.previousValue};
    for (int m = 0; m < 4 * n; ++m) {
        const LaneVector argument = clampKeepNaN(fourfold[m] * drive, -limit, limit);
        fourfold[m] = curveMean(argument, shape, previous, before) * gain;
    }
    memory.previousArgument = previous;
    memory.previousIntegral = before.integral;
    memory.previousValue = before.value;

    // Each pair of fourfold samples gives the output centred two samples
    // before the pair's second: the filter reaches one sample beyond it.
    LaneVector h[5];
    for (int k = 0; k < 5; ++k)
        h[k] = memory.downHistory[k];
    for (int j = 0; j < 2 * n; ++j) {
        const LaneVector x0 = fourfold[2 * j];
        const LaneVector x1 = fourfold[2 * j + 1];
        twice[j] = decimate(h[3], h[2], h[4], h[0], x1);
        h[0] = h[2], h[1] = h[3], h[2] = h[4], h[3] = x0, h[4] = x1;
    }
    for (int k = 0; k < 5; ++k)
        memory.downHistory[k] = h[k];

    auto out1 = memory.down1;
    for (int i = 0; i < n; ++i)
        x[i] = out1.run(twice[2 * i], twice[2 * i + 1], c1);
    memory.down1 = out1;
    blockDc(x, n);
}

void OversampledClip::readPrevious(LaneVector drive, const ClipCurve& curve)
{
    if (&curve == previousCurve && !anyLane(drive != memory.previousDrive))
        return;
    // Another drive or another curve: the previous point is read again as
    // the new ones would have seen it, or the mean from there to the next
    // argument would mix the old scale (or the old curve's integral) with
    // the new one, a click at every change of segment.
    memory.previousArgument = memory.previousArgument / memory.previousDrive * drive;
    const CurvePoint before = evaluate(memory.previousArgument, view(curve));
    memory.previousIntegral = before.integral;
    memory.previousValue = before.value;
    previousCurve = &curve;
    memory.previousDrive = drive;
}

namespace {


// The curve over the pairs of one run (two per sample: fourfold samples
// 4i, 4i + 1 of lanes 0 and 1, then 4i + 2, 4i + 3), in place: each
// becomes the curve's mean from the fourfold sample before it, times the
// gain. The previous point sits in lanes 2 and 3 of last and lastPoint, as
// if it ended a pair, and the run's last point is left there.
#if OSTRAND_KERNEL_VERSIONS
__attribute__((target("default")))
#endif
void curvePairs(LaneVector* pairs, int n, LaneVector drive2, LaneVector gain2, const CurveView& shape,
                LaneVector& last, CurvePoint& lastPoint)
{
    const LaneVector limit = splat<LaneVector>(argumentLimit);
    for (int j = 0; j < 2 * n; ++j) {
        const LaneVector argument = clampKeepNaN(pairs[j] * drive2, -limit, limit);
        const CurvePoint here = evaluate(argument, shape);
        const LaneVector earlier = __builtin_shufflevector(last, argument, 2, 3, 4, 5);
        const CurvePoint before{__builtin_shufflevector(lastPoint.integral, here.integral, 2, 3, 4, 5),
                                __builtin_shufflevector(lastPoint.value, here.value, 2, 3, 4, 5)};
        pairs[j] = meanBetween(argument, here, earlier, before) * gain2;
        last = argument;
        lastPoint = here;
    }
}

#if OSTRAND_KERNEL_VERSIONS
// The eight-lane form. The loop looks the next sample up
// while it finishes this one: one sample's work is a long chain (loads, a
// transpose, then the integral and a division), and with the next one's
// loads already under way the processor keeps more of it busy (a third
// less time than the straight loop).
__attribute__((target("avx2"))) void curvePairs(LaneVector* pairs, int n, LaneVector drive2, LaneVector gain2,
                                                const CurveView& shape, LaneVector& last, CurvePoint& lastPoint)
{
    if (n <= 0)
        return;
    const LookupConstants constants = lookupConstants(drive2, shape);
    CurveMeans means(gain2, shape, last, lastPoint);
    float* p = reinterpret_cast<float*>(pairs);
    Lookup next = lookUp(_mm256_loadu_ps(p), constants);
    for (int i = 0; i < n; ++i, p += 8) {
        const Lookup here = next;
        if (i + 1 < n)
            next = lookUp(_mm256_loadu_ps(p + 8), constants);
        _mm256_storeu_ps(p, means.mean(here));
    }
    means.save(last, lastPoint);
}
#endif

}  // namespace

namespace {

// The stage for lanes 0 and 1 alone (a stereo or a mono slot, as the
// effect always has), in the two-lane form of OversampledClipSteps.h. Three
// loops (up, curve, down), so that each keeps its states in registers; the
// half-band filters run over the whole block, the curve segment by segment.

// Up to four times the rate: n samples of input(i) into 2n pairs, handed
// to pair(j, value).
template <class V, class Input, class Pair>
inline OSTRAND_INLINED void upLoop(const PairStates<V>& st, int n, const halfband::Coefficients<3>& firstStage,
                                   const halfband::Coefficients<2>& secondStage, Input input, Pair pair)
{
    UpSteps<V> up(st, firstStage, secondStage);
    for (int i = 0; i < n; ++i) {
        V p0, p1;
        up.step(input(i), p0, p1);
        pair(2 * i, p0);
        pair(2 * i + 1, p1);
    }
    up.store(st);
}

// Down from the curve's 2n pairs, pair(j), to n samples handed to
// output(i, value), the DC blocker included. Each turn of the loop runs the
// three parts of the way down on three samples, the short filter on sample
// i, the half-band filter on i - 1 and the DC blocker on i - 2, so that
// what a turn computes waits on the turns before it, not on itself: a
// sample's way through all three is one long chain, and its operations
// waiting for each other filled the processor's queue, which then took in
// the next samples' work only as fast as the chain ran.
template <class V, class Pair, class Output>
inline OSTRAND_INLINED void downLoop(const PairStates<V>& st, int n, const halfband::Coefficients<3>& firstStage,
                                     float dcPole, Pair pair, Output output)
{
    DownSteps<V> down(st, firstStage, dcPole);
    if (n > 0) {
        V d = down.decimate(pair(0), pair(1));
        V t1;
        V t2;
        if (n > 1) {
            down.halfBand(d, t1, t2);
            d = down.decimate(pair(2), pair(3));
            for (int i = 2; i < n; ++i) {
                const V y = down.blockDc(t1, t2);
                down.halfBand(d, t1, t2);
                d = down.decimate(pair(2 * i), pair(2 * i + 1));
                output(i - 2, y);
            }
            output(n - 2, down.blockDc(t1, t2));
        }
        down.halfBand(d, t1, t2);
        output(n - 1, down.blockDc(t1, t2));
    }
    down.store(st);
}

}  // namespace

OSTRAND_KERNEL_CLONES __attribute__((flatten)) void OversampledClip::upTwoLanes(State& state, const LaneVector* x,
                                                                               int n)
{
    LaneVector* pairs = quadrupled.data();
    upLoop<LaneVector>({{&state, nullptr}}, n, firstStage, secondStage, [x](int i) { return x[i]; },
                       [pairs](int j, LaneVector v) { pairs[j] = v; });
}

OSTRAND_KERNEL_CLONES __attribute__((flatten)) void OversampledClip::downTwoLanes(State& state, LaneVector* x, int n)
{
    const LaneVector* pairs = quadrupled.data();
    downLoop<LaneVector>({{&state, nullptr}}, n, firstStage, dcPole, [pairs](int j) { return pairs[j]; },
                         [x](int i, LaneVector v) { x[i] = v; });
}

// Two stages' pairs of lanes at once, each in its own buffers.
OSTRAND_KERNEL_CLONES __attribute__((flatten)) void OversampledClip::upTwoPairs(OversampledClip& other, State& state,
                                                                               State& otherState, const LaneVector* x,
                                                                               const LaneVector* otherX, int n)
{
    LaneVector* pairs = quadrupled.data();
    LaneVector* otherPairs = other.quadrupled.data();
    upLoop<TwoPairs>({{&state, &otherState}}, n, firstStage, secondStage,
                     [x, otherX](int i) OSTRAND_INLINED {
                         return __builtin_shufflevector(x[i], otherX[i], 0, 1, 2, 3, 4, 5, 6, 7);
                     },
                     [pairs, otherPairs](int j, TwoPairs v) OSTRAND_INLINED {
                         pairs[j] = __builtin_shufflevector(v, v, 0, 1, 2, 3);
                         otherPairs[j] = __builtin_shufflevector(v, v, 4, 5, 6, 7);
                     });
}

OSTRAND_KERNEL_CLONES __attribute__((flatten)) void OversampledClip::downTwoPairs(OversampledClip& other, State& state,
                                                                                 State& otherState, LaneVector* x,
                                                                                 LaneVector* otherX, int n)
{
    const LaneVector* pairs = quadrupled.data();
    const LaneVector* otherPairs = other.quadrupled.data();
    downLoop<TwoPairs>(
        {{&state, &otherState}}, n, firstStage, dcPole,
        [pairs, otherPairs](int j) OSTRAND_INLINED {
            return __builtin_shufflevector(pairs[j], otherPairs[j], 0, 1, 2, 3, 4, 5, 6, 7);
        },
        [x, otherX](int i, TwoPairs v) OSTRAND_INLINED {
            x[i] = __builtin_shufflevector(v, v, 0, 1, 2, 3);
            otherX[i] = __builtin_shufflevector(v, v, 4, 5, 6, 7);
        });
}

OSTRAND_KERNEL_CLONES __attribute__((flatten)) void OversampledClip::downTwoLanesInto(State& state, float* first,
                                                                                     float* second, int n)
{
    const LaneVector* pairs = quadrupled.data();
    downLoop<LaneVector>({{&state, nullptr}}, n, firstStage, dcPole, [pairs](int j) { return pairs[j]; },
                         [first, second](int i, LaneVector v) {
                             first[i] = v[0];
                             second[i] = v[1];
                         });
}

void OversampledClip::beginTwoLanes(const LaneVector* work, int n)
{
    giveBack();
    upTwoLanes(memory, work, n);
}

void OversampledClip::curveTwoLanes(int begin, int end, LaneVector drive, LaneVector gain, const ClipCurve& curve)
{
    giveBack();
    if (end <= begin)
        return;
    readPrevious(drive, curve);
    curveSpan(memory, begin, end, drive, gain, view(curve));
}

void OversampledClip::endTwoLanes(float* first, float* second, int n)
{
    giveBack();
    downTwoLanesInto(memory, first, second, n);
}

void OversampledClip::curveSpan(State& state, int begin, int end, LaneVector drive, LaneVector gain,
                                const CurveView& shape)
{
    // The curve's previous point, in lanes 2, 3 as if it ended a pair.
    LaneVector last = lowHalf(state.previousArgument);
    CurvePoint lastPoint{lowHalf(state.previousIntegral), lowHalf(state.previousValue)};
    curvePairs(quadrupled.data() + 2 * begin, end - begin, lowHalf(drive), lowHalf(gain), shape, last, lastPoint);
    state.previousArgument = highHalf(last);
    state.previousIntegral = highHalf(lastPoint.integral);
    state.previousValue = highHalf(lastPoint.value);
}

void OversampledClip::blockDc(LaneVector* work, int n)
{
    LaneVector in = memory.dcInput;
    LaneVector out = memory.dcOutput;
    for (int s = 0; s < n; ++s) {
        const LaneVector x = work[s];
        out = x - in + dcPole * out;
        in = x;
        work[s] = out;
    }
    memory.dcInput = in;
    // A state that is no longer finite (only a NaN can make it so, and the
    // stage reads those as 0) starts again from silence.
    memory.dcOutput = select(isFiniteMask(out), out, splat<LaneVector>(0.0f));
}

// --- Two stages in one run -------------------------------------------------------

OversampledClip::Pair& OversampledClip::Pair::of(Lane first, Lane second)
{
    Pair& pair = first.stage->led;
    if (!holds(*first.stage, first.lane, *second.stage, second.lane)) {
        first.stage->giveBack();
        second.stage->giveBack();
        pair.state.copyLane(0, first.stage->memory, first.lane);
        pair.state.copyLane(1, second.stage->memory, second.lane);
        first.stage->lent = second.stage->lent = &pair;
    }
    // A characteristic may have changed the curves since.
    pair.lanes[0] = first;
    pair.lanes[1] = second;
    return pair;
}

void OversampledClip::Pair::giveBack()
{
    for (int which = 0; which < 2; ++which) {
        lanes[which].stage->memory.copyLane(lanes[which].lane, state, which);
        lanes[which].stage->lent = nullptr;
    }
}

void OversampledClip::Pair::openSegment(int which, LaneVector drive)
{
    // The stage decides about its previous point as it would alone (the
    // drives of its other lanes count there too), from this lane's point.
    const Lane& own = lanes[which];
    State& kept = own.stage->memory;
    kept.previousArgument[own.lane] = state.previousArgument[which];
    kept.previousIntegral[own.lane] = state.previousIntegral[which];
    kept.previousValue[own.lane] = state.previousValue[which];
    own.stage->readPrevious(drive, *own.curve);
    state.previousDrive[which] = kept.previousDrive[own.lane];
    state.previousArgument[which] = kept.previousArgument[own.lane];
    state.previousIntegral[which] = kept.previousIntegral[own.lane];
    state.previousValue[which] = kept.previousValue[own.lane];
}

void OversampledClip::Pair::curve(int begin, int end, LaneVector drive, LaneVector gain)
{
    if (end > begin)
        lanes[0].stage->curveSpan(state, begin, end, drive, gain, view(*lanes[0].curve, *lanes[1].curve));
}

void OversampledClip::Pair::up(Pair& a, Pair* b, const LaneVector* workA, const LaneVector* workB, int n)
{
    if (b)
        a.lanes[0].stage->upTwoPairs(*b->lanes[0].stage, a.state, b->state, workA, workB, n);
    else
        a.lanes[0].stage->upTwoLanes(a.state, workA, n);
}

void OversampledClip::Pair::down(Pair& a, Pair* b, LaneVector* workA, LaneVector* workB, int n)
{
    if (b)
        a.lanes[0].stage->downTwoPairs(*b->lanes[0].stage, a.state, b->state, workA, workB, n);
    else
        a.lanes[0].stage->downTwoLanes(a.state, workA, n);
}
