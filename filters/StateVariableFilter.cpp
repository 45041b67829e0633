// The eight-wide vectors of the curve pass only between helpers that are
// inlined into the AVX2 loop (OversampledClipSteps.h), so how a call would
// pass them without AVX never matters.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "filters/StateVariableFilter.h"

#include "wave/BlockLoops.h"
#include "filters/KernelClones.h"
#include "filters/OversampledClipSteps.h"
#include "filters/StateVariableKernel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace svfkernel;
using namespace clipsteps;

namespace {

// Resets every stage of a lane whose states are no longer finite, or whose
// first stage is caught on its bounds. Run once per segment, so a NaN or an
// infinity in the input costs at most the rest of one segment (at most 32
// samples, which the output stage turns into 0).
// Caught: with the cubic term near the highest cut-offs, low at -10 and band
// at +1 (or both mirrored) is a point the stage comes back to after every
// sample unless a large input of the other sign pulls it off: its passes
// overshoot through band^3 and the bounds put them back. An overload (+12
// dBFS for a few dozen samples will do) that put a lane there would leave it
// holding a constant, which the output stage takes out, silent until a reset.
template <int S>
inline void resetStuck(LaneVector (&low)[S], LaneVector (&band)[S], LaneVector c)
{
    LaneMask keep = isFiniteMask(low[0]) & isFiniteMask(band[0]);
    for (int s = 1; s < S; ++s)
        keep &= isFiniteMask(low[s]) & isFiniteMask(band[s]);
    const LaneVector pinned = low[0] * band[0];
    keep &= (c == 0.0f) | (pinned != -10.0f) | (blockloops::magnitude(band[0]) != 1.0f);
    for (int s = 0; s < S; ++s) {
        low[s] = select(keep, low[s], splat<LaneVector>(0.0f));
        band[s] = select(keep, band[s], splat<LaneVector>(0.0f));
    }
}

// The first stage (with the input gain and the cubic term) and the further
// stages of every sample run in one loop: the stages of neighbouring samples
// are independent chains, which the processor overlaps. Every stage without
// a cubic term in this segment (the further ones always, the first one in
// the lanes that do not saturate) takes its three passes in one step. Which
// form a lane runs depends on its own settings alone, so each lane gives
// what it would give by itself.
// Sample i of the input is input(i); each output sample goes to
// sink.take<T>(i, y), each segment's between sink.open(seg) and
// sink.close(seg).
template <int S, int T, class Input, class Sink>
void stagesKernel(const Input& input, const StateVariableFilter::Segment* segs, int count, LaneVector* lowStates,
                  LaneVector* bandStates, LaneVector gain, LaneMask active, WeightCache& cache, Sink& sink)
{
    using V = LaneVector;
    V low[S];
    V band[S];
    for (int s = 0; s < S; ++s) {
        low[s] = lowStates[s];
        band[s] = bandStates[s];
    }

    for (int k = 0; k < count; ++k) {
        const StateVariableFilter::Segment& seg = segs[k];
        const V f = seg.f;
        const V c = seg.saturation;
        LinearWeights w[S];
        for (int s = 1; s < S; ++s)
            w[s] = cache.weights(s, f, seg.q[s]);

        const LaneMask linear = active & (c == 0.0f);
        const V q0 = seg.q[0];
        sink.open(seg);
        if (!anyLane(linear)) {
            for (int i = seg.start; i < seg.end; ++i) {
                V y = stageSample<V, T, true>(low[0], band[0], input(i) * gain, f, q0, c);
                for (int s = 1; s < S; ++s)
                    y = linearStageSample<T>(low[s], band[s], y, w[s]);
                sink.template take<T>(i, y);
            }
        } else if (!anyLane(active & ~linear)) {
            w[0] = cache.weights(0, f, q0);
            for (int i = seg.start; i < seg.end; ++i) {
                V y = input(i) * gain;
                for (int s = 0; s < S; ++s)
                    y = linearStageSample<T>(low[s], band[s], y, w[s]);
                sink.template take<T>(i, y);
            }
        } else {
            // Lanes of both kinds: the first stage both ways, each lane
            // keeping its own.
            w[0] = cache.weights(0, f, q0);
            for (int i = seg.start; i < seg.end; ++i) {
                const V u = input(i) * gain;
                V lowLinear = low[0];
                V bandLinear = band[0];
                const V yLinear = linearStageSample<T>(lowLinear, bandLinear, u, w[0]);
                V y = stageSample<V, T, true>(low[0], band[0], u, f, q0, c);
                y = select(linear, yLinear, y);
                low[0] = select(linear, lowLinear, low[0]);
                band[0] = select(linear, bandLinear, band[0]);
                for (int s = 1; s < S; ++s)
                    y = linearStageSample<T>(low[s], band[s], y, w[s]);
                sink.template take<T>(i, y);
            }
        }
        sink.close(seg);
        resetStuck<S>(low, band, c);
    }

    for (int s = 0; s < S; ++s) {
        lowStates[s] = low[s];
        bandStates[s] = band[s];
    }
}

// The stages' input: the interleaved work block, or the two signals of
// lanes 0 and 1 read straight from their buffers (lanes 2 and 3 silent, as
// the interleaved form has them), which spares the pass that interleaves.
struct Interleaved {
    const LaneVector* work;

    LaneVector operator()(int i) const { return work[i]; }
};

struct TwoSignals {
    const float* first;
    const float* second;

    LaneVector operator()(int i) const { return LaneVector{first[i], second[i], 0.0f, 0.0f}; }
};

// The stages' output, into the work block.
struct WorkBlock {
    LaneVector* work;

    void open(const StateVariableFilter::Segment&) {}
    template <int T>
    void take(int i, LaneVector y)
    {
        work[i] = y;
    }
    void close(const StateVariableFilter::Segment&) {}
};

// The first part of the output stage of a filter whose lanes 2 and 3 are
// silent, the way up to four times the rate, sample by sample right behind
// the stages: their recursion is one long chain per sample, which leaves
// the processor room for the way up's own chain beside it. Each turn of
// the loop takes the sample the turn before made to twice the rate, and
// the one before that on to four times, so that neither half waits for
// this turn's chain nor the second for the first. The same arithmetic in
// the same order per lane as the output stage's own loop (beginTwoLanes),
// so the same samples.
class UpBeside {
public:
    explicit UpBeside(OversampledClip& stage)
        : parts(stage.steps()), states{{&parts.state, nullptr}}, up(states, parts.first, parts.second)
    {
    }

    void open(const StateVariableFilter::Segment&) {}
    template <int T>
    void take(int i, LaneVector y)
    {
        if (i > 1)
            up.quadruple(twice, parts.pairs[2 * (i - 2)], parts.pairs[2 * (i - 2) + 1]);
        if (i > 0)
            twice = up.template double_<T != highTap>(pending);
        pending = y;
        last = i;
        bounded = T != highTap;
    }
    void close(const StateVariableFilter::Segment&) {}

    void finish()
    {
        if (last >= 1)
            up.quadruple(twice, parts.pairs[2 * (last - 1)], parts.pairs[2 * (last - 1) + 1]);
        if (last >= 0) {
            twice = bounded ? up.template double_<true>(pending) : up.template double_<false>(pending);
            up.quadruple(twice, parts.pairs[2 * last], parts.pairs[2 * last + 1]);
        }
        up.store(states);
    }

private:

    const OversampledClip::Steps parts;
    const clipsteps::PairStates<LaneVector> states;
    clipsteps::UpSteps<LaneVector> up;
    LaneVector pending = {};  // the stages' output at sample `last`, not yet taken up
    LaneVector twice = {};    // sample last - 1 at twice the rate, not yet at four times
    int last = -1;
    bool bounded = true;
};

#if OSTRAND_KERNEL_VERSIONS
// With AVX2 the curve runs beside the stages as well, three samples behind
// them (the way up one and two behind, its halves on different turns as
// beside the linear stages): a sample's curve is a long chain of its own
// (the table's loads, a transpose, a division) that no later sample of the
// stages waits for, so the processor works on both chains at once instead
// of one loop after the other. A sample's table look-up comes one turn
// before the rest of its curve, so that the rest finds its loads done.
// Segment by segment, as curveTwoLanes runs it: the previous point read
// again where a segment opens, the segment's last samples taken up and
// through the curve where it closes. The same operations per element as
// the output stage's own loops, so the same samples.
class UpAndCurveBeside {
public:
    __attribute__((target("avx2"))) UpAndCurveBeside(OversampledClip& stage, const ClipCurve& curve)
        : clipStage(stage), clipCurve(curve), shape(view(curve)), parts(stage.steps()),
          states{{&parts.state, nullptr}}, up(states, parts.first, parts.second), ahead()
    {
    }

    __attribute__((target("avx2"))) void open(const StateVariableFilter::Segment& seg)
    {
        clipStage.openCurve(seg.drive, clipCurve);
        const OversampledClip::State& state = parts.state;
        constants = lookupConstants(lowHalf(seg.drive), shape);
        // The previous point in lanes 2 and 3, as if it ended a pair.
        means = CurveMeans(lowHalf(seg.outputGain), shape, lowHalf(state.previousArgument),
                           CurvePoint{lowHalf(state.previousIntegral), lowHalf(state.previousValue)});
        next = seg.start;
    }

    template <int T>
    __attribute__((target("avx2"))) void take(int i, LaneVector y)
    {
        if (doubled >= 0)
            up.quadruple(twice, parts.pairs[2 * doubled], parts.pairs[2 * doubled + 1]);
        doubled = last;
        if (last >= 0)
            twice = up.template double_<T != highTap>(pending);
        pending = y;
        last = i;
        bounded = T != highTap;
        finishLookedUp();
        if (next <= i - 3) {
            ahead = lookUp(_mm256_loadu_ps(reinterpret_cast<const float*>(parts.pairs + 2 * next)), constants);
            looked = next;
        }
    }

    __attribute__((target("avx2"))) void close(const StateVariableFilter::Segment& seg)
    {
        if (doubled >= 0)
            up.quadruple(twice, parts.pairs[2 * doubled], parts.pairs[2 * doubled + 1]);
        if (last >= 0) {
            twice = bounded ? up.template double_<true>(pending) : up.template double_<false>(pending);
            up.quadruple(twice, parts.pairs[2 * last], parts.pairs[2 * last + 1]);
        }
        last = doubled = -1;
        finishLookedUp();
        for (; next < seg.end; ++next)
            curveAt(next);
        LaneVector lastArgument;
        CurvePoint lastPoint;
        means.save(lastArgument, lastPoint);
        parts.state.previousArgument = highHalf(lastArgument);
        parts.state.previousIntegral = highHalf(lastPoint.integral);
        parts.state.previousValue = highHalf(lastPoint.value);
    }

    void finish() { up.store(states); }

private:
    // The curve of the sample looked up a turn before, if any.
    __attribute__((target("avx2"))) void finishLookedUp()
    {
        if (looked < 0)
            return;
        _mm256_storeu_ps(reinterpret_cast<float*>(parts.pairs + 2 * looked), means.mean(ahead));
        next = looked + 1;
        looked = -1;
    }

    // Sample i's two pairs, in place.
    __attribute__((target("avx2"))) void curveAt(int i)
    {
        float* p = reinterpret_cast<float*>(parts.pairs + 2 * i);
        _mm256_storeu_ps(p, means.mean(lookUp(_mm256_loadu_ps(p), constants)));
    }

    OversampledClip& clipStage;
    const ClipCurve& clipCurve;
    const OversampledClip::CurveView shape;
    const OversampledClip::Steps parts;
    const PairStates<LaneVector> states;
    UpSteps<LaneVector> up;
    LookupConstants constants;
    CurveMeans means;
    LaneVector pending = {};  // the stages' output at sample `last`, not yet taken up
    int last = -1;
    bool bounded = true;  // low- and band-pass outputs are bounded states (or NaN), high-pass ones are not
    LaneVector twice = {};    // sample `doubled` at twice the rate, not yet at four times
    int doubled = -1;
    int next = 0;    // the first sample of the segment not yet through the curve
    Lookup ahead;    // what the table holds for sample `looked`
    int looked = -1;
};
#endif

// Samples [0, n) of two signals (n a multiple of four) as lanes 0 and 1 of
// the interleaved form, lanes 2 and 3 silent.
void interleaveTwo(LaneVector* work, const float* a, const float* b, int n)
{
    const LaneVector zero = {};
    for (int i = 0; i < n; i += 4) {
        const LaneVector x = blockloops::load(a + i);
        const LaneVector y = blockloops::load(b + i);
        const LaneVector low = __builtin_shufflevector(x, y, 0, 4, 1, 5);
        const LaneVector high = __builtin_shufflevector(x, y, 2, 6, 3, 7);
        work[i] = __builtin_shufflevector(low, zero, 0, 1, 4, 4);
        work[i + 1] = __builtin_shufflevector(low, zero, 2, 3, 4, 4);
        work[i + 2] = __builtin_shufflevector(high, zero, 0, 1, 4, 4);
        work[i + 3] = __builtin_shufflevector(high, zero, 2, 3, 4, 4);
    }
}

// And back: lanes 0 and 1 of samples [0, n) to their two signals.
void deinterleaveTwo(float* a, float* b, const LaneVector* work, int n)
{
    for (int i = 0; i < n; i += 4) {
        const LaneVector first = __builtin_shufflevector(work[i], work[i + 1], 0, 4, 1, 5);
        const LaneVector second = __builtin_shufflevector(work[i + 2], work[i + 3], 0, 4, 1, 5);
        blockloops::store(a + i, __builtin_shufflevector(first, second, 0, 1, 4, 5));
        blockloops::store(b + i, __builtin_shufflevector(first, second, 2, 3, 6, 7));
    }
}

// What lane l reads at sample i: the cut-off (a NaN reads as 0; infinities
// hold at the table ends), and the peak times the multiplier within 0 and 1
// (a NaN reads as 0).
inline float laneCutoff(const StateVariableFilter::Lanes& lanes, int l, int i)
{
    const float c = lanes.cutoff[l][i];
    return std::isnan(c) ? 0.0f : c;
}

inline float lanePeak(const StateVariableFilter::Lanes& lanes, int l, int i)
{
    float p = lanes.peak[l][i];
    if (lanes.peakMultiplier[l])
        p *= lanes.peakMultiplier[l][i];
    return p > 0.0f ? std::min(p, 1.0f) : 0.0f;
}

// A lane that is never filtered in this block: its coefficients leave
// the (silent) input alone.
void neutral(StateVariableFilter::Segment& seg, int l)
{
    seg.f[l] = 0.0f;
    seg.saturation[l] = 0.0f;
    seg.drive[l] = seg.outputGain[l] = 1.0f;
    for (int s = 0; s < StateVariableFilter::maxStages; ++s)
        seg.q[s][l] = 2.0f;
}

}  // namespace

// --- Lookup functions --------------------------------------------------------

double StateVariableFilter::FreqFunction::evaluate(double x) const
{
    const double r = std::min(std::exp2(x), 1.0);
    return std::min(2.0 * std::sin(r * std::numbers::pi / 3.0), 0.95);
}

double StateVariableFilter::DampLimitFunction::evaluate(double x) const
{
    return x > 0.01 ? std::min(2.0 / x - x, 2.0) : 2.0;
}

double StateVariableFilter::DampFunction::evaluate(double x) const
{
    return 2.0 * (1.0 - std::sqrt(std::sqrt(std::max(x, 0.0))));
}

double StateVariableFilter::ClipTable::ClipFunction::evaluate(double x) const
{
    return x >= 0.0 ? std::atan(k * x) / k : std::atan(x);
}

StateVariableFilter::ClipTable::ClipTable(float shapeFactor) : k(shapeFactor)
{
    build();
}

void StateVariableFilter::ClipTable::setShapeFactor(float newK)
{
    if (!valueDiffers(k, newK))
        return;
    k = newK;
    build();
}

void StateVariableFilter::ClipTable::build()
{
    samples.build(points, ClipFunction(k), -range, range);
    shape.build(samples);
}

const StateVariableFilter::SharedTables& StateVariableFilter::sharedTables()
{
    // A function-local static is built exactly once even when two threads
    // create the first filters at the same time.
    static const SharedTables shared = [] {
        SharedTables t;
        t.frequency.build(8192, FreqFunction(), -30.0, 20.0);
        t.dampingLimit.build(4906, DampLimitFunction(), 0.0, 1.0);
        t.damping.build(4096, DampFunction(), 0.0, 5.0);
        return t;
    }();
    return shared;
}

// --- Filter -------------------------------------------------------------------

StateVariableFilter::StateVariableFilter(int maxBlockLength, float sampleRate)
    : response(nullptr, 0), slope(nullptr, 1), tables(&sharedTables()), clip(&tables->plainClip),
      maxFrames(std::max(maxBlockLength, 1)), output(maxFrames)
{
    setSampleRate(sampleRate);
    segments.resize(static_cast<size_t>(maxFrames));
    laneWork.assign(static_cast<size_t>(maxFrames), splat<LaneVector>(0.0f));
    zeros.assign(static_cast<size_t>(maxFrames), 0.0f);
    discard.assign(static_cast<size_t>(maxFrames), 0.0f);
    for (int l = 0; l < laneCount; ++l)
        neutral(segments[0], l);
    reset();
}

void StateVariableFilter::changeRate(float newRate)
{
    rate = newRate;
    log2Rate = std::log2(newRate);
    output.setSampleRate(newRate);
    stale = true;
}

void StateVariableFilter::reset()
{
    for (int s = 0; s < maxStages; ++s)
        low[s] = band[s] = splat<LaneVector>(0.0f);
    lastInput = splat<LaneVector>(0.0f);
    output.reset();
    kept = LaneMask{};
    // The next block computes its coefficients afresh and starts the
    // segment grid again, as a new filter would.
    stale = true;
    streamPosition = 0;
}

StateVariableFilter::Settings StateVariableFilter::computeSettings(float, float peak)
{
    return {std::min(peak, 0.999f), 0.0f, 0.1f};
}

void StateVariableFilter::process(const float* input, float* out, const float* cutoff, const float* peak,
                                  const float* peakMultiplier, int frameCount, bool constant)
{
    Lanes lanes;
    lanes.input[0] = input;
    lanes.output[0] = out;
    lanes.cutoff[0] = cutoff;
    lanes.peak[0] = peak;
    lanes.peakMultiplier[0] = peakMultiplier;
    lanes.cutoffConstant[0] = constant;
    lanes.peakConstant[0] = constant && !peakMultiplier;
    lanes.active[0] = true;
    processLanes(lanes, frameCount);
}

void StateVariableFilter::processLanes(const Lanes& lanes, int frameCount)
{
    if (!std::any_of(std::begin(lanes.active), std::end(lanes.active), [](bool a) { return a; }))
        return;
    for (int offset = 0; offset < frameCount; offset += maxFrames)
        run(lanes, offset, std::min(maxFrames, frameCount - offset));
}

void StateVariableFilter::computeLane(Segment& seg, int l, float cut, float peakValue, int stages, float comp)
{
    const Settings settings = computeSettings(cut, peakValue);
    const float drive = settings.drive >= 0.1f ? settings.drive : 0.1f;
    seg.drive[l] = drive;
    seg.outputGain[l] = 1.0f / (drive * comp);
    seg.saturation[l] = settings.saturation;

    // A cut-off modulated far below or above the audio band keeps the
    // filter closed or open; wrapped, it would read the other end.
    // Past self-oscillation (negative damping) the loop runs slow by up to
    // a fourth; the coefficient is raised so that it sings at the cut-off.
    const float q = tables->damping.lookupInside(settings.resonanceAmount);
    const float f = tables->tuning.tuned(tables->frequency.lookupInside(cut - log2Rate), q, settings.saturation);
    const float limit = tables->dampingLimit.lookup(f);
    seg.f[l] = f;
    seg.q[0][l] = std::min(limit, q);
    // The further stages only shape the slope: weak resonance, falling
    // from stage to stage.
    for (int s = 1; s < stages; ++s) {
        const float m = static_cast<float>(maxStages - s);
        seg.q[s][l] = std::min(limit, tables->damping.lookup(m * 0.035f * peakValue));
    }
    currentCutoff[l] = cut;
    currentPeak[l] = peakValue;
}

// Whether the segment in force was computed from what the active lanes read
// at sample `offset`.
bool StateVariableFilter::computedFrom(const Lanes& lanes, int offset, LaneMask active) const
{
    for (int l = 0; l < laneCount; ++l) {
        if (active[l] &&
            (laneCutoff(lanes, l, offset) != currentCutoff[l] || lanePeak(lanes, l, offset) != currentPeak[l]))
            return false;
    }
    return true;
}

// Streams that hold, for the same lanes, the very values the segment in
// force was computed from: no grid point and no move opens another segment
// in the block, and the one in force (its idle lanes already neutral) goes
// on unchanged. The usual case of a settled filter, told apart before any
// of the search's set-up.
bool StateVariableFilter::carriesOn(const Lanes& lanes, int offset, LaneMask active) const
{
    if (stale || anyLane(valid != active))
        return false;
    if (Lanes::bits(lanes.active) & ~(Lanes::bits(lanes.cutoffConstant) & Lanes::bits(lanes.peakConstant)))
        return false;
    return computedFrom(lanes, offset, active);
}

// Segments on the stream's grid: sample i of the block opens one when its
// stream position is a multiple of 32, or when an active lane's cut-off has
// moved more than a tenth of an octave from where the segment in force
// began. Otherwise the block goes on with the segment in force, also at its
// first sample. The peak (times the multiplier) is read where a segment
// opens.
int StateVariableFilter::segment(const Lanes& lanes, int offset, int n, LaneMask active, int stages, float comp)
{
    if (carriesOn(lanes, offset, active)) {
        Segment& only = segments[0];
        only = inForce();
        only.start = 0;
        only.end = n;
        streamPosition += static_cast<std::uint32_t>(n);
        return 1;
    }
    auto cutoffAt = [&](int l, int i) { return laneCutoff(lanes, l, offset + i); };
    auto peakAt = [&](int l, int i) { return lanePeak(lanes, l, offset + i); };
    auto moved = [&](int i) {
        for (int l = 0; l < laneCount; ++l) {
            if (active[l] && std::fabs(cutoffAt(l, i) - currentCutoff[l]) > segmentMove)
                return true;
        }
        return false;
    };
    // The first sample of [from, to) at which an active lane's cut-off lies
    // more than segmentMove from where the segment in force began (as
    // moved() finds it), else `to`.
    auto firstMove = [&](int from, int to) {
        const LaneVector move = splat<LaneVector>(segmentMove);
        for (int l = 0; l < laneCount; ++l) {
            if (!active[l])
                continue;
            const float* c = lanes.cutoff[l] + offset;
            const LaneVector reference = splat<LaneVector>(currentCutoff[l]);
            int i = from;
            for (; i + 4 <= to; i += 4) {
                LaneVector v = blockloops::load(c + i);
                v = select(v == v, v, splat<LaneVector>(0.0f));
                if (anyLane(blockloops::abs(v - reference) > move))
                    break;
            }
            for (; i < to; ++i) {
                if (std::fabs(cutoffAt(l, i) - currentCutoff[l]) > segmentMove) {
                    to = i;
                    break;
                }
            }
        }
        return to;
    };
    // Lanes whose coefficients in the segment being carried on were computed
    // from the values they read at a new segment's start keep them: the same
    // values give the same coefficients (a steady cut-off and peak cost no
    // table look-ups at the grid points).
    LaneMask fresh = stale ? LaneMask{} : valid;
    auto open = [&](Segment& seg, int i) {
        for (int l = 0; l < laneCount; ++l) {
            if (!active[l])
                continue;
            const float c = cutoffAt(l, i);
            const float p = peakAt(l, i);
            if (!fresh[l] || c != currentCutoff[l] || p != currentPeak[l])
                computeLane(seg, l, c, p, stages, comp);
        }
        fresh = active;
    };
    const auto onGrid = [&](int i) { return (streamPosition + static_cast<std::uint32_t>(i)) % segmentLength == 0; };
    // The first sample of the block that lies on the stream's grid.
    const int grid = static_cast<int>((segmentLength - streamPosition % segmentLength) % segmentLength);

    Segment& first = segments[0];
    first = inForce();
    first.start = 0;
    if (stale || onGrid(0) || moved(0)) {
        open(first, 0);
    } else {
        // Lanes that join carry no coefficients yet.
        for (int l = 0; l < laneCount; ++l) {
            if (active[l] && !valid[l])
                computeLane(first, l, cutoffAt(l, 0), peakAt(l, 0), stages, comp);
        }
        fresh = active;
    }
    // Only lanes that ran in the last block hold anything but neutral
    // coefficients in the segment in force.
    if (anyLane(valid & ~active)) {
        for (int l = 0; l < laneCount; ++l) {
            if (!active[l])
                neutral(first, l);
        }
    }

    const std::uint32_t activeBits = Lanes::bits(lanes.active);
    const std::uint32_t steadyBits = Lanes::bits(lanes.cutoffConstant);
    const bool steadyCutoffs = !(activeBits & ~steadyBits);
    const bool allConstant = !(activeBits & ~(steadyBits & Lanes::bits(lanes.peakConstant)));

    int count = 1;
    auto begin = [&](int i) {
        segments[static_cast<size_t>(count) - 1].end = i;
        Segment& seg = segments[static_cast<size_t>(count++)];
        seg = segments[static_cast<size_t>(count) - 2];
        seg.start = i;
        open(seg, i);
    };
    if (allConstant) {
        // The streams hold still: every further segment would compute what
        // the first grid point computes, so that one is enough, and none is
        // needed when the segment in force was computed from these values
        // (as it now is where the first sample opened one).
        if (grid > 0 && grid < n && !computedFrom(lanes, offset, active))
            begin(grid);
    } else if (steadyCutoffs) {
        // A cut-off that holds still never moves from a segment's start
        // after the first sample: only the grid opens segments (the peak
        // may differ at each of them).
        for (int i = grid > 0 ? grid : segmentLength; i < n; i += segmentLength)
            begin(i);
    } else {
        // Sample by sample, a segment opens on the grid or where a cut-off
        // has moved; the stretch up to the next grid point is searched for
        // the first move four samples at a time.
        int i = 1;
        while (i < n) {
            const int toGrid = static_cast<int>(
                (segmentLength - (streamPosition + static_cast<std::uint32_t>(i)) % segmentLength) % segmentLength);
            const int at = firstMove(i, std::min(i + toGrid, n));
            if (at >= n)
                break;
            begin(at);
            i = at + 1;
        }
    }
    segments[static_cast<size_t>(count) - 1].end = n;

    // The last segment stays where it is until the next block's start reads
    // it: nothing writes the segments between blocks, so naming it spares
    // copying its 144 bytes out. A block carried on copies it to the front
    // and may keep naming the original, which holds the same coefficients.
    currentSegment = count - 1;
    valid = active;
    currentStages = stages;
    stale = false;
    streamPosition += static_cast<std::uint32_t>(n);
    return count;
}

// Per lane: a lane whose stage s did not run in its last block gets it
// seeded from the stage before (seedStage says how). A lane left out of a
// pass is seeded when it next runs, with the coefficients it has then; its
// states do not move meanwhile.
void StateVariableFilter::engageStages(LaneMask active, int stages)
{
    if (!anyLane(active & (engaged < stages)))
        return;
    const Segment& seg = segments[0];
    for (int s = 1; s < stages; ++s) {
        const LaneMask joins = active & (engaged <= s);
        if (!anyLane(joins))
            continue;
        const LaneVector beforeInput = s == 1 ? lastInput : band[s - 2];
        LaneVector l, b;
        if (response == 0)
            seedStage<lowTap>(l, b, low[s - 1], band[s - 1], beforeInput, seg.q[s], seg.q[s - 1]);
        else if (response == 1)
            seedStage<highTap>(l, b, low[s - 1], band[s - 1], beforeInput, seg.q[s], seg.q[s - 1]);
        else
            seedStage<bandTap>(l, b, low[s - 1], band[s - 1], beforeInput, seg.q[s], seg.q[s - 1]);
        low[s] = select(joins, l, low[s]);
        band[s] = select(joins, b, band[s]);
    }
}

// Processors with AVX2 run a copy in its encoding (three operands, fewer
// register copies; the same arithmetic, so the same samples).
OSTRAND_KERNEL_CLONES __attribute__((flatten)) void
StateVariableFilter::runStages(LaneVector* work, float comp, LaneMask active, const float* const* two)
{
    const int stages = stageCount(slope);
    if (two) {
        UpBeside sink(output);
        runStagesInto(TwoSignals{two[0], two[1]}, sink, stages, comp, active);
        sink.finish();
    } else {
        WorkBlock sink{work};
        runStagesInto(Interleaved{work}, sink, stages, comp, active);
    }
}

#if OSTRAND_KERNEL_VERSIONS
__attribute__((target("avx2"), flatten)) void StateVariableFilter::runStagesWithCurve(const float* const* two,
                                                                                      float comp, LaneMask active)
{
    UpAndCurveBeside sink(output, clip->curve());
    runStagesInto(TwoSignals{two[0], two[1]}, sink, stageCount(slope), comp, active);
    sink.finish();
}
#endif

template <class Input, class Sink>
void StateVariableFilter::runStagesInto(const Input& input, Sink& sink, int stages, float comp, LaneMask active)
{
    if (stages == 1)
        runStagesWithTap<1>(input, sink, comp, active);
    else if (stages == 2)
        runStagesWithTap<2>(input, sink, comp, active);
    else
        runStagesWithTap<4>(input, sink, comp, active);
}

template <int S, class Input, class Sink>
void StateVariableFilter::runStagesWithTap(const Input& input, Sink& sink, float comp, LaneMask active)
{
    const LaneVector gain = splat<LaneVector>(comp);
    if (response == 0)
        stagesKernel<S, lowTap>(input, segments.data(), segmentCount, low, band, gain, active, weightCache, sink);
    else if (response == 1)
        stagesKernel<S, highTap>(input, segments.data(), segmentCount, low, band, gain, active, weightCache, sink);
    else
        stagesKernel<S, bandTap>(input, segments.data(), segmentCount, low, band, gain, active, weightCache, sink);
}

// The stages of one segment of a shared pass: lanes from several filters,
// each with its own gain compensation.
OSTRAND_KERNEL_CLONES __attribute__((flatten)) void StateVariableFilter::runSharedStages(
    LaneVector* work, const Segment& seg, LaneVector* lowStates, LaneVector* bandStates, LaneVector gain,
    LaneMask active, int stages, int tap, WeightCache& cache)
{
    if (stages == 1)
        runSharedStagesWith<1>(work, seg, lowStates, bandStates, gain, active, tap, cache);
    else if (stages == 2)
        runSharedStagesWith<2>(work, seg, lowStates, bandStates, gain, active, tap, cache);
    else
        runSharedStagesWith<4>(work, seg, lowStates, bandStates, gain, active, tap, cache);
}

template <int S>
void StateVariableFilter::runSharedStagesWith(LaneVector* work, const Segment& seg, LaneVector* lowStates,
                                              LaneVector* bandStates, LaneVector gain, LaneMask active, int tap,
                                              WeightCache& cache)
{
    WorkBlock sink{work};
    if (tap == lowTap)
        stagesKernel<S, lowTap>(Interleaved{work}, &seg, 1, lowStates, bandStates, gain, active, cache, sink);
    else if (tap == highTap)
        stagesKernel<S, highTap>(Interleaved{work}, &seg, 1, lowStates, bandStates, gain, active, cache, sink);
    else
        stagesKernel<S, bandTap>(Interleaved{work}, &seg, 1, lowStates, bandStates, gain, active, cache, sink);
}

void StateVariableFilter::run(const Lanes& lanes, int offset, int n)
{
    // Lanes 0 and 1 alone (every slot of the effect): the stages read their
    // inputs straight from the two buffers, and the output stage's way up
    // runs beside them.
    const bool twoLanes = !lanes.active[2] && !lanes.active[3];
    const LaneMask active = beginRun(lanes, offset, n, LeftOut::everything, !twoLanes);
    const float* const two[2] = {lanes.active[0] ? lanes.input[0] + offset : zeros.data(),
                                 lanes.active[1] ? lanes.input[1] + offset : zeros.data()};
    bool curveDone = false;
#if OSTRAND_KERNEL_VERSIONS
    // The curve too, where the processor has AVX2 and the first stage has
    // its cubic term: its chain of about 60 cycles a sample leaves room
    // for the curve's work beside it. The linear stages' chains are a
    // quarter of that, and the curve in their loop only slows it.
    if (twoLanes && saturates(active) && __builtin_cpu_supports("avx2")) {
        runStagesWithCurve(two, gainCompensation(), active);
        curveDone = true;
    }
#endif
    if (!curveDone)
        runStages(laneWork.data(), gainCompensation(), active, twoLanes ? two : nullptr);
    writeOutput(lanes, offset, n, twoLanes, curveDone);
    endRun(lanes, offset, n, active, true);
}

// Whether an active lane's first stage has its cubic term in a segment of
// the block.
bool StateVariableFilter::saturates(LaneMask active) const
{
    LaneMask any = {};
    for (int k = 0; k < segmentCount; ++k)
        any |= segments[static_cast<size_t>(k)].saturation != 0.0f;
    return anyLane(any & active);
}

// Everything of a block before the stages: the segments, the stages that
// join, the states to put back for inactive lanes, and the input in the
// interleaved form.
LaneMask StateVariableFilter::beginRun(const Lanes& lanes, int offset, int n, LeftOut moves, bool interleave)
{
    const int stages = stageCount(slope);
    const float comp = gainCompensation();
    blockCompensation = comp;
    const LaneMask active = {lanes.active[0] ? -1 : 0, lanes.active[1] ? -1 : 0, lanes.active[2] ? -1 : 0,
                             lanes.active[3] ? -1 : 0};
    // A lane's first block since the reset starts from the reset state: the
    // idle lanes that never ran are not kept (below), so a block leaves in
    // them whatever it computed there.
    const LaneMask joining = active & ~kept;
    if (anyLane(joining)) {
        for (int s = 0; s < maxStages; ++s) {
            low[s] = select(joining, LaneVector{}, low[s]);
            band[s] = select(joining, LaneVector{}, band[s]);
        }
        output.keepLanes(OversampledClip::State{}, ~joining);
        kept |= active;
    }
    // Further stages that join need their damping.
    stale = stale || stages != currentStages;
    segmentCount = segment(lanes, offset, n, active, stages, comp);
    engageStages(active, stages);
    engaged = active ? LaneMask{stages, stages, stages, stages} : engaged;
    // Inactive lanes read silence and write nowhere; the states of those
    // that ran before (the output stage's too) are put back afterwards, so a
    // muted owner resumes where it stopped. An active lane's last sample is
    // what the first stage reads there, for a stage that joins behind it
    // later (kept before any output is written: input and output may share
    // a buffer).
    const float* in[laneCount];
    for (int l = 0; l < laneCount; ++l) {
        if (lanes.active[l]) {
            in[l] = lanes.input[l] + offset;
            lastInput[l] = in[l][n - 1] * comp;
        } else {
            in[l] = zeros.data();
        }
    }
    leftOutMoves = anyLane(~active & kept) ? moves : LeftOut::nothing;
    if (leftOutMoves == LeftOut::everything) {
        std::copy_n(low, maxStages, savedLow);
        std::copy_n(band, maxStages, savedBand);
    }
    if (leftOutMoves == LeftOut::previousPoint)
        savedPoint = output.previousPoint();
    else if (leftOutMoves != LeftOut::nothing)
        savedOutput = output.state();

    if (!interleave)
        return active;
    LaneVector* work = laneWork.data();
    // Lanes 0 and 1 alone (every slot of the effect): four samples of each
    // at a time into the interleaved form; lanes 2 and 3 read silence as
    // they would from `zeros`.
    const int quads = !lanes.active[2] && !lanes.active[3] ? n & ~3 : 0;
    interleaveTwo(work, in[0], in[1], quads);
    for (int i = quads; i < n; ++i)
        work[i] = LaneVector{in[0][i], in[1][i], in[2][i], in[3][i]};
    return active;
}

// Everything after the stages: the output stage, segment by segment, the
// output out of the interleaved form, and the states of inactive lanes back.
void StateVariableFilter::endRun(const Lanes& lanes, int offset, int n, LaneMask active, bool outputDone)
{
    if (!outputDone)
        writeOutput(lanes, offset, n);
    if (leftOutMoves == LeftOut::nothing)
        return;
    if (leftOutMoves == LeftOut::everything) {
        for (int s = 0; s < maxStages; ++s) {
            low[s] = select(active, low[s], savedLow[s]);
            band[s] = select(active, band[s], savedBand[s]);
        }
    }
    if (leftOutMoves == LeftOut::previousPoint)
        output.keepPreviousPoint(savedPoint, active);
    else
        output.keepLanes(savedOutput, active);
}

void StateVariableFilter::writeOutput(const Lanes& lanes, int offset, int n, bool upDone, bool curveDone)
{
    float* out[laneCount];
    for (int l = 0; l < laneCount; ++l)
        out[l] = lanes.active[l] ? lanes.output[l] + offset : discard.data();
    LaneVector* work = laneWork.data();
    const ClipCurve& curve = clip->curve();
    if (!lanes.active[2] && !lanes.active[3]) {
        if (!upDone)
            output.beginTwoLanes(work, n);
        for (int k = 0; k < segmentCount && !curveDone; ++k) {
            const Segment& seg = segments[static_cast<size_t>(k)];
            output.curveTwoLanes(seg.start, seg.end, seg.drive, seg.outputGain, curve);
        }
        // The way down writes the two lanes' outputs itself.
        output.endTwoLanes(out[0], out[1], n);
        return;
    }
    for (int k = 0; k < segmentCount; ++k) {
        const Segment& seg = segments[static_cast<size_t>(k)];
        output.run(work, seg.start, seg.end, seg.drive, seg.outputGain, curve);
    }
    for (int i = 0; i < n; ++i) {
        const LaneVector y = work[i];
        out[0][i] = y[0];
        out[1][i] = y[1];
        out[2][i] = y[2];
        out[3][i] = y[3];
    }
}

void StateVariableFilter::curveOutputPair(OversampledClip::Pair& pair, const StateVariableFilter& a, int laneA,
                                          const StateVariableFilter& b, int laneB, int n)
{
    std::size_t k = 0;
    std::size_t m = 0;
    for (int from = 0; from < n;) {
        while (a.segments[k].end <= from)
            ++k;
        while (b.segments[m].end <= from)
            ++m;
        const Segment& sa = a.segments[k];
        const Segment& sb = b.segments[m];
        if (sa.start == from)
            pair.openSegment(0, sa.drive);
        if (sb.start == from)
            pair.openSegment(1, sb.drive);
        const int to = std::min(sa.end, sb.end);
        pair.curve(from, to, LaneVector{sa.drive[laneA], sb.drive[laneB], 0.0f, 0.0f},
                   LaneVector{sa.outputGain[laneA], sb.outputGain[laneB], 0.0f, 0.0f});
        from = to;
    }
}

// --- Shared passes ------------------------------------------------------------

bool StateVariableFilter::processShared(std::span<const Shared> members, int frameCount)
{
    if (members.empty() || members.size() > static_cast<std::size_t>(laneCount))
        return false;
    StateVariableFilter& base = *members[0].filter;
    const int stages = stageCount(base.slope);
    const int tap = base.response == 0 ? lowTap : base.response == 1 ? highTap : bandTap;
    int lanesInUse = 0;
    int laneCounts[laneCount] = {};
    for (std::size_t u = 0; u < members.size(); ++u) {
        const StateVariableFilter& f = *members[u].filter;
        const int t = f.response == 0 ? lowTap : f.response == 1 ? highTap : bandTap;
        if (stageCount(f.slope) != stages || t != tap || frameCount > f.maxFrames || frameCount < 1)
            return false;
        laneCounts[u] = members[u].lanes->activeCount();
        lanesInUse += laneCounts[u];
    }
    if (lanesInUse > laneCount)
        return false;

    // Where each member's lanes run in the pass: the first member's in their
    // own places, the others' in the places it leaves free.
    struct Place {
        StateVariableFilter* filter;
        int lane;
        int member;
    };
    Place places[laneCount] = {};
    for (int l = 0; l < laneCount; ++l) {
        if (members[0].lanes->active[l])
            places[l] = {&base, l, 0};
    }
    for (std::size_t u = 1; u < members.size(); ++u) {
        for (int l = 0; l < laneCount; ++l) {
            if (!members[u].lanes->active[l])
                continue;
            int p = 0;
            while (places[p].filter)
                ++p;
            places[p] = {members[u].filter, l, static_cast<int>(u)};
        }
    }

    // Output stages: a member with one lane pairs with the next such member,
    // their stages running as the two lanes of one (which costs what one
    // lane alone costs). The pair works in the later member's block, never
    // the first member's, which still holds the other lanes.
    int placeOf[laneCount] = {};
    int laneOf[laneCount] = {};
    int memberAt[laneCount] = {};
    int pairWith[laneCount] = {-1, -1, -1, -1};
    int waiting = -1;
    for (int p = 0; p < laneCount; ++p) {
        if (!places[p].filter)
            continue;
        const int u = places[p].member;
        placeOf[u] = p;
        laneOf[u] = places[p].lane;
        memberAt[p] = u;
        if (laneCounts[u] != 1)
            continue;
        if (waiting < 0) {
            waiting = u;
        } else {
            pairWith[waiting] = u;
            pairWith[u] = waiting;
            waiting = -1;
        }
    }

    // A lane that a pair of an earlier pass holds stays there only while
    // the same pair runs again: anything else reads the stage's own state.
    for (std::size_t u = 0; u < members.size(); ++u) {
        const int v = pairWith[u];
        const std::size_t first = v < 0 ? u : std::min(u, static_cast<std::size_t>(v));
        const std::size_t second = v < 0 ? u : std::max(u, static_cast<std::size_t>(v));
        if (v < 0 || !OversampledClip::Pair::holds(members[first].filter->output, laneOf[first],
                                                    members[second].filter->output, laneOf[second]))
            members[u].filter->output.giveBack();
    }

    // The pass moves nothing of a member's stages outside its lanes, and a
    // paired output stage nothing but the previous point.
    LaneMask memberLanes[laneCount] = {};
    for (std::size_t u = 0; u < members.size(); ++u)
        memberLanes[u] = members[u].filter->beginRun(*members[u].lanes, 0, frameCount,
                                                     pairWith[u] >= 0 ? LeftOut::previousPoint : LeftOut::outputStage);

    // The pass runs in the first member's interleaved block, with the states
    // and compensation of every lane's own filter.
    LaneVector* work = base.laneWork.data();
    LaneMask active = {};
    LaneVector gain = {};
    LaneVector low[maxStages] = {};
    LaneVector band[maxStages] = {};
    for (int p = 0; p < laneCount; ++p) {
        const Place& place = places[p];
        if (!place.filter)
            continue;
        active[p] = -1;
        gain[p] = place.filter->blockCompensation;
        for (int s = 0; s < maxStages; ++s) {
            low[s][p] = place.filter->low[s][place.lane];
            band[s][p] = place.filter->band[s][place.lane];
        }
        if (place.filter != &base) {
            const LaneVector* from = place.filter->laneWork.data();
            for (int i = 0; i < frameCount; ++i)
                work[i][p] = from[i][place.lane];
        }
    }

    // Segments: each filter keeps its own; the pass steps from one start of
    // any of them to the next, each lane with the coefficients of its own
    // filter's segment there (weights worked out again from the same values
    // are the same weights, so extra boundaries change nothing).
    int next[laneCount] = {};
    Segment seg{};
    for (int p = 0; p < laneCount; ++p)
        neutral(seg, p);
    for (int from = 0; from < frameCount;) {
        int to = frameCount;
        for (std::size_t u = 0; u < members.size(); ++u) {
            const StateVariableFilter& f = *members[u].filter;
            while (f.segments[static_cast<size_t>(next[u])].end <= from)
                ++next[u];
            to = std::min(to, f.segments[static_cast<size_t>(next[u])].end);
        }
        seg.start = from;
        seg.end = to;
        for (int p = 0; p < laneCount; ++p) {
            const Place& place = places[p];
            if (!place.filter)
                continue;
            const Segment& own = place.filter->segments[static_cast<size_t>(next[place.member])];
            seg.f[p] = own.f[place.lane];
            seg.saturation[p] = own.saturation[place.lane];
            for (int s = 0; s < maxStages; ++s)
                seg.q[s][p] = own.q[s][place.lane];
        }
        runSharedStages(work, seg, low, band, gain, active, stages, tap, base.weightCache);
        from = to;
    }

    for (int p = 0; p < laneCount; ++p) {
        const Place& place = places[p];
        if (!place.filter)
            continue;
        for (int s = 0; s < maxStages; ++s) {
            place.filter->low[s][place.lane] = low[s][p];
            place.filter->band[s][place.lane] = band[s][p];
        }
        if (place.filter != &base && pairWith[memberAt[p]] < 0) {
            LaneVector* to = place.filter->laneWork.data();
            for (int i = 0; i < frameCount; ++i)
                to[i][place.lane] = work[i][p];
        }
    }
    runOutputPairs(members, pairWith, placeOf, laneOf, work, frameCount);
    for (std::size_t u = 0; u < members.size(); ++u)
        members[u].filter->endRun(*members[u].lanes, 0, frameCount, memberLanes[u], pairWith[u] >= 0);
    return true;
}

// The output stages of the members a shared pass paired (pairWith), each
// pair as the two lanes of one run, from the pass's work block; placeOf and
// laneOf say where a member's one lane sits in the pass and in its filter.
void StateVariableFilter::runOutputPairs(std::span<const Shared> members, const int* pairWith, const int* placeOf,
                                         const int* laneOf, LaneVector* work, int frameCount)
{
    // At most two pairs; with two, their half-band filters run side by side.
    struct OutputPair {
        const Shared* first;
        const Shared* second;
        int a;
        int b;
        LaneVector* work;
        OversampledClip::Pair* stages;
    };
    OutputPair outputPairs[2] = {};
    int pairCount = 0;
    for (std::size_t u = 0; u < members.size(); ++u) {
        const int v = pairWith[u];
        if (v < static_cast<int>(u))
            continue;
        const Shared& first = members[u];
        const Shared& second = members[static_cast<std::size_t>(v)];
        const int a = laneOf[u];
        const int b = laneOf[v];
        LaneVector* pairWork = second.filter->laneWork.data();
        const int pu = placeOf[u];
        const int pv = placeOf[v];
        if (pu == 0 && pv == 1 && u == 0) {
            // The first member's own lanes, already where the pair wants
            // them; every other lane of the work was copied out before (the
            // unpaired members' outputs) or is just now (the other pair's,
            // which comes later in this loop), and the first member's output
            // is written by its pair: the pair can run in the work itself.
            pairWork = work;
        } else if (pu == 0 && pv == 1) {
            std::copy_n(work, frameCount, pairWork);
        } else if (pu == 2 && pv == 3) {
            for (int i = 0; i < frameCount; ++i)
                pairWork[i] = __builtin_shufflevector(work[i], work[i], 2, 3, 2, 3);
        } else {
            for (int i = 0; i < frameCount; ++i)
                pairWork[i] = LaneVector{work[i][pu], work[i][pv], 0.0f, 0.0f};
        }
        outputPairs[pairCount++] = {&first, &second, a, b, pairWork,
                                    &OversampledClip::Pair::of(outputLane(first, a), outputLane(second, b))};
    }
    if (pairCount == 0)
        return;
    OversampledClip::Pair* const other = pairCount == 2 ? outputPairs[1].stages : nullptr;
    OversampledClip::Pair::up(*outputPairs[0].stages, other, outputPairs[0].work, outputPairs[1].work, frameCount);
    for (int k = 0; k < pairCount; ++k) {
        const OutputPair& op = outputPairs[k];
        curveOutputPair(*op.stages, *op.first->filter, op.a, *op.second->filter, op.b, frameCount);
    }
    OversampledClip::Pair::down(*outputPairs[0].stages, other, outputPairs[0].work, outputPairs[1].work, frameCount);
    for (int k = 0; k < pairCount; ++k) {
        const OutputPair& op = outputPairs[k];
        const int quads = frameCount & ~3;
        deinterleaveTwo(op.first->lanes->output[op.a], op.second->lanes->output[op.b], op.work, quads);
        for (int i = quads; i < frameCount; ++i) {
            op.first->lanes->output[op.a][i] = op.work[i][0];
            op.second->lanes->output[op.b][i] = op.work[i][1];
        }
    }
}
