#include "filters/StateVariableFilter.h"

#include "wave/BlockLoops.h"
#include "filters/StateVariableKernel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace svfkernel;

namespace {

template <class V>
inline V pick(const LaneVector& v)
{
    if constexpr (sizeof(V) == sizeof(float))
        return v[0];
    else
        return v;
}

template <class V>
inline void put(LaneVector& target, V value)
{
    if constexpr (sizeof(V) == sizeof(float))
        target[0] = value;
    else
        target = value;
}

// Resets every stage of a lane whose states are no longer finite. Run once
// per segment, so a NaN or an infinity in the input costs at most the rest of
// one segment (at most 32 samples, which the output stage turns into 0).
template <int S>
inline void resetNonFinite(float (&low)[S], float (&band)[S])
{
    bool finite = true;
    for (int s = 0; s < S; ++s)
        finite = finite && isFinite(low[s]) && isFinite(band[s]);
    if (!finite) {
        for (int s = 0; s < S; ++s)
            low[s] = band[s] = 0.0f;
    }
}

template <int S>
inline void resetNonFinite(LaneVector (&low)[S], LaneVector (&band)[S])
{
    LaneMask finite = isFiniteMask(low[0]) & isFiniteMask(band[0]);
    for (int s = 1; s < S; ++s)
        finite &= isFiniteMask(low[s]) & isFiniteMask(band[s]);
    for (int s = 0; s < S; ++s) {
        low[s] = select(finite, low[s], splat<LaneVector>(0.0f));
        band[s] = select(finite, band[s], splat<LaneVector>(0.0f));
    }
}

// The first stage (with the input gain and the cubic term) and the further
// stages of every sample run in one loop: the stages of neighbouring samples
// are independent chains, which the processor overlaps.
template <class V, int S, int T>
void stagesKernel(V* work, const StateVariableFilter::Segment* segs, int count, LaneVector* lowStates,
                  LaneVector* bandStates, float comp)
{
    V low[S];
    V band[S];
    for (int s = 0; s < S; ++s) {
        low[s] = pick<V>(lowStates[s]);
        band[s] = pick<V>(bandStates[s]);
    }
    const V gain = splat<V>(comp);

    for (int k = 0; k < count; ++k) {
        const StateVariableFilter::Segment& seg = segs[k];
        const V f = pick<V>(seg.f);
        const V c = pick<V>(seg.saturation);
        V q[S];
        for (int s = 0; s < S; ++s)
            q[s] = pick<V>(seg.q[s]);

        for (int i = seg.start; i < seg.end; ++i) {
            V y = stageSample<V, T, true>(low[0], band[0], work[i] * gain, f, q[0], c);
            for (int s = 1; s < S; ++s)
                y = stageSample<V, T, false>(low[s], band[s], y, f, q[s], c);
            work[i] = y;
        }
        resetNonFinite<S>(low, band);
    }

    for (int s = 0; s < S; ++s) {
        put<V>(lowStates[s], low[s]);
        put<V>(bandStates[s], band[s]);
    }
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
    curve.build(points, ClipFunction(k), -range, range);
}

void StateVariableFilter::ClipTable::setShapeFactor(float newK)
{
    if (!valueDiffers(k, newK))
        return;
    k = newK;
    curve.build(points, ClipFunction(k), -range, range);
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
      maxFrames(std::max(maxBlockLength, 1))
{
    setSampleRate(sampleRate);
    // The output stage works in whole steps of four samples, so the work
    // buffers reach up to three samples past the longest block.
    segments.resize(static_cast<size_t>(maxFrames));
    laneWork.assign(static_cast<size_t>(maxFrames) + 4, splat<LaneVector>(0.0f));
    oneLaneWork.assign(static_cast<size_t>(maxFrames) + 4, 0.0f);
    zeros.assign(static_cast<size_t>(maxFrames), 0.0f);
    discard.assign(static_cast<size_t>(maxFrames), 0.0f);
    reset();
}

void StateVariableFilter::setSampleRate(float newRate)
{
    if (!(newRate > 0.0f) || newRate == rate)
        return;
    rate = newRate;
    log2Rate = std::log2(newRate);
}

int StateVariableFilter::stageCount(int slopeValue)
{
    return slopeValue == 1 ? 1 : slopeValue == 2 ? 2 : 4;
}

void StateVariableFilter::reset()
{
    for (int s = 0; s < maxStages; ++s)
        low[s] = band[s] = splat<LaneVector>(0.0f);
    lastInput = splat<LaneVector>(0.0f);
}

StateVariableFilter::Settings StateVariableFilter::computeSettings(float, float peak)
{
    return {std::min(peak, 0.999f), 0.0f, 0.1f};
}

void StateVariableFilter::process(const float* input, float* output, const float* cutoff, const float* peak,
                                  const float* peakMultiplier, int frameCount, bool constant)
{
    Lanes lanes;
    lanes.input[0] = input;
    lanes.output[0] = output;
    lanes.cutoff[0] = cutoff;
    lanes.peak[0] = peak;
    lanes.peakMultiplier[0] = peakMultiplier;
    lanes.constant[0] = constant;
    lanes.active[0] = true;
    for (int offset = 0; offset < frameCount; offset += maxFrames)
        run<float>(lanes, offset, std::min(maxFrames, frameCount - offset));
}

void StateVariableFilter::processLanes(const Lanes& lanes, int frameCount)
{
    if (!std::any_of(std::begin(lanes.active), std::end(lanes.active), [](bool a) { return a; }))
        return;
    for (int offset = 0; offset < frameCount; offset += maxFrames)
        run<LaneVector>(lanes, offset, std::min(maxFrames, frameCount - offset));
}

int StateVariableFilter::segment(const Lanes& lanes, int offset, int n)
{
    const float* cut[laneCount];
    int active = 0;
    bool allConstant = true;
    for (int l = 0; l < laneCount; ++l) {
        if (!lanes.active[l])
            continue;
        cut[active++] = lanes.cutoff[l] + offset;
        allConstant = allConstant && lanes.constant[l] && !lanes.peakMultiplier[l];
    }

    segments[0].start = 0;
    int count = 1;
    if (!allConstant) {
        float reference[laneCount];
        for (int k = 0; k < active; ++k)
            reference[k] = cut[k][0];
        for (int i = 1; i < n; ++i) {
            bool open = i % segmentLength == 0;
            for (int k = 0; k < active && !open; ++k)
                open = std::fabs(cut[k][i] - reference[k]) > segmentMove;
            if (!open)
                continue;
            segments[static_cast<size_t>(count) - 1].end = i;
            segments[static_cast<size_t>(count++)].start = i;
            for (int k = 0; k < active; ++k)
                reference[k] = cut[k][i];
        }
    }
    segments[static_cast<size_t>(count) - 1].end = n;
    return count;
}

void StateVariableFilter::computeCoefficients(const Lanes& lanes, int offset, float comp)
{
    const int stages = stageCount(slope);
    for (int k = 0; k < segmentCount; ++k) {
        Segment& seg = segments[static_cast<size_t>(k)];
        const int at = offset + seg.start;
        for (int l = 0; l < laneCount; ++l) {
            if (!lanes.active[l]) {
                // Never filtered; its states are put back after the pass.
                seg.f[l] = 0.0f;
                seg.saturation[l] = 0.0f;
                seg.drive[l] = seg.outputGain[l] = 1.0f;
                for (int s = 0; s < maxStages; ++s)
                    seg.q[s][l] = 2.0f;
                continue;
            }
            float cut = lanes.cutoff[l][at];
            cut = std::isnan(cut) ? 0.0f : cut;  // infinities hold at the table ends
            float peakValue = lanes.peak[l][at];
            if (lanes.peakMultiplier[l])
                peakValue *= lanes.peakMultiplier[l][at];
            peakValue = peakValue > 0.0f ? std::min(peakValue, 1.0f) : 0.0f;  // NaN reads as 0

            const Settings settings = computeSettings(cut, peakValue);
            const float drive = settings.drive >= 0.1f ? settings.drive : 0.1f;
            seg.drive[l] = drive;
            seg.outputGain[l] = 1.0f / (drive * comp);
            seg.saturation[l] = settings.saturation;

            // A cut-off modulated far below or above the audio band keeps the
            // filter closed or open; wrapped, it would read the other end.
            const float f = tables->frequency.lookupInside(cut - log2Rate);
            const float limit = tables->dampingLimit.lookup(f);
            seg.f[l] = f;
            seg.q[0][l] = std::min(limit, tables->damping.lookupInside(settings.resonanceAmount));
            // The further stages only shape the slope: weak resonance, falling
            // from stage to stage.
            for (int s = 1; s < stages; ++s) {
                const float m = static_cast<float>(maxStages - s);
                seg.q[s][l] = std::min(limit, tables->damping.lookup(m * 0.035f * peakValue));
            }
        }
    }
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

template <class V>
void StateVariableFilter::runStages(V* work, float comp)
{
    const int stages = stageCount(slope);
    if (stages == 1)
        runStagesWithTap<V, 1>(work, comp);
    else if (stages == 2)
        runStagesWithTap<V, 2>(work, comp);
    else
        runStagesWithTap<V, 4>(work, comp);
}

template <class V, int S>
void StateVariableFilter::runStagesWithTap(V* work, float comp)
{
    if (response == 0)
        stagesKernel<V, S, lowTap>(work, segments.data(), segmentCount, low, band, comp);
    else if (response == 1)
        stagesKernel<V, S, highTap>(work, segments.data(), segmentCount, low, band, comp);
    else
        stagesKernel<V, S, bandTap>(work, segments.data(), segmentCount, low, band, comp);
}

// The output stage advances in whole steps of four samples: a segment starts
// where the previous one's last step ended, which may be past its own first
// sample, and one that has been passed entirely is skipped.
template <class Step>
void StateVariableFilter::forEachClipStep(Step step) const
{
    int pos = 0;
    for (int k = 0; k < segmentCount; ++k) {
        const Segment& seg = segments[static_cast<size_t>(k)];
        for (; pos < seg.end; pos += 4)
            step(pos, seg);
    }
}

void StateVariableFilter::clipOneLane(float* work) const
{
    const FunctionTable& curve = clip->table();
    forEachClipStep([&](int pos, const Segment& seg) {
        const LaneVector drive = splat<LaneVector>(seg.drive[0]);
        const LaneVector gain = splat<LaneVector>(seg.outputGain[0]);
        blockloops::store(work + pos, clipFour(blockloops::load(work + pos), drive, gain, curve));
    });
}

void StateVariableFilter::clipLanes(LaneVector* work) const
{
    const FunctionTable& curve = clip->table();
    forEachClipStep([&](int pos, const Segment& seg) {
        for (int j = 0; j < 4; ++j)
            work[pos + j] = clipFour(work[pos + j], seg.drive, seg.outputGain, curve);
    });
}

template <class V>
void StateVariableFilter::run(const Lanes& lanes, int offset, int n)
{
    segmentCount = segment(lanes, offset, n);
    const float comp = gainCompensation();
    computeCoefficients(lanes, offset, comp);
    const int stages = stageCount(slope);
    const LaneMask active = {lanes.active[0] ? -1 : 0, lanes.active[1] ? -1 : 0, lanes.active[2] ? -1 : 0,
                             lanes.active[3] ? -1 : 0};
    engageStages(active, stages);
    engaged = active ? LaneMask{stages, stages, stages, stages} : engaged;
    // What the first stage reads at the last sample, for a stage that joins
    // behind it later (before any output is written: input and output may
    // share a buffer).
    for (int l = 0; l < laneCount; ++l) {
        if (lanes.active[l])
            lastInput[l] = lanes.input[l][offset + n - 1] * comp;
    }

    if constexpr (sizeof(V) == sizeof(float)) {
        float* work = oneLaneWork.data();
        std::copy_n(lanes.input[0] + offset, n, work);
        runStages<float>(work, comp);
        clipOneLane(work);
        std::copy_n(work, n, lanes.output[0] + offset);
    } else {
        // Inactive lanes read silence and write nowhere; their states are
        // put back afterwards, so a muted owner resumes where it stopped.
        const float* in[laneCount];
        float* out[laneCount];
        for (int l = 0; l < laneCount; ++l) {
            in[l] = lanes.active[l] ? lanes.input[l] + offset : zeros.data();
            out[l] = lanes.active[l] ? lanes.output[l] + offset : discard.data();
        }
        LaneVector savedLow[maxStages];
        LaneVector savedBand[maxStages];
        std::copy_n(low, maxStages, savedLow);
        std::copy_n(band, maxStages, savedBand);

        LaneVector* work = laneWork.data();
        for (int i = 0; i < n; ++i)
            work[i] = LaneVector{in[0][i], in[1][i], in[2][i], in[3][i]};
        runStages<LaneVector>(work, comp);
        clipLanes(work);
        for (int i = 0; i < n; ++i) {
            const LaneVector y = work[i];
            out[0][i] = y[0];
            out[1][i] = y[1];
            out[2][i] = y[2];
            out[3][i] = y[3];
        }

        for (int s = 0; s < maxStages; ++s) {
            low[s] = select(active, low[s], savedLow[s]);
            band[s] = select(active, band[s], savedBand[s]);
        }
    }
}
