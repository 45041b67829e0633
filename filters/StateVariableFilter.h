#pragma once

#include "filters/FunctionTable.h"
#include "filters/OscillationTuning.h"
#include "filters/OversampledClip.h"
#include "filters/StateVariableKernel.h"
#include "wave/LaneVector.h"
#include "framework/Property.h"

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

// The saturating state-variable filter: the classic two-integrator loop run
// three times per sample with the input held (threefold oversampling), a
// cubic term that softens the band-pass state of the first stage, hard
// bounds on both states, up to three weakly damped further stages for the
// steeper slopes, and an output stage that drives the result into the clip
// curve of the characteristic and scales it back (see OversampledClip: it
// runs at four times the rate, and removes the DC that one-sided curves
// make).
//
// One object filters up to four signals at once ("lanes"; one per owning
// filter, e.g. the left and the right channel of one filter slot) with the
// same packed arithmetic; a single signal runs as lane 0 of it.
//
// Coefficients change per segment, never per sample. Segments follow the
// stream, not the blocks it arrives in: one starts at every 32nd sample of
// the stream and wherever the cut-off of an active lane has moved by more
// than a tenth of an octave from the segment's start, and a segment begun
// in one block goes on into the next. So the host's block size never
// changes the sound. Only what changes between blocks (a characteristic,
// the slope, the rate, a lane joining) takes effect at a block's start.
//
// Everything runs on the audio thread except construction, which builds
// the process-wide lookup tables on first use and sizes every buffer for
// the largest block; process calls allocate nothing and never lock.
//
// Raising the slope while audio runs: the stages that join the cascade are
// seeded, lane by lane, so that their output continues the output of the
// stage before them (low- and band-pass from that stage's states, high-pass
// from empty states), instead of jumping to silence or to states left from
// an earlier time at the steeper slope. A lane left out of the block in
// which the slope rose is seeded when it next runs. Lowering the slope
// leaves the states of the stages it drops alone.
//
// Non-finite input: the states are checked once per segment; a lane whose
// states are NaN or infinite is reset to 0, so the filter never stays dead
// after a NaN or infinity in its input. The output stage reads non-finite
// values as 0, so the output is always finite and bounded by the clip curve
// times the output gain.
class StateVariableFilter {
public:
    static constexpr int maxStages = 4;
    static constexpr int defaultMaxBlockLength = 1024;
    static constexpr int segmentLength = 32;
    static constexpr float segmentMove = 0.1f;  // octaves

    // x = log2(cut-off / sample rate): the coefficient of a filter running at
    // three times the sample rate, capped at 0.95 to keep the loop stable.
    class FreqFunction : public FunctionTableFunction {
    public:
        double evaluate(double x) const override;
    };
    // x = frequency coefficient f: the smallest damping the loop tolerates at f.
    class DampLimitFunction : public FunctionTableFunction {
    public:
        double evaluate(double x) const override;
    };
    // x = resonance amount: damping 2 (1 - amount^1/4); negative above 1.
    class DampFunction : public FunctionTableFunction {
    public:
        double evaluate(double x) const override;
    };

    // The output clip curve: atan(k x) / k for x >= 0 and atan(x) below, so
    // positive half-waves are clipped more softly the smaller k is. Beyond
    // the table's +-40 the curve holds its end values.
    class ClipTable {
    public:
        class ClipFunction : public FunctionTableFunction {
        public:
            explicit ClipFunction(double shape) : k(shape) {}
            double evaluate(double x) const override;

        private:
            double k;
        };

        static constexpr int points = 8192;
        static constexpr float range = 40.0f;

        explicit ClipTable(float shapeFactor = 0.3f);
        // Rebuilds the table (allocating) only when k really changes; never
        // called on the audio thread.
        void setShapeFactor(float k);
        float shapeFactor() const { return k; }
        const FunctionTable& table() const { return samples; }
        const ClipCurve& curve() const { return shape; }
        float operator()(float x) const { return shape.value(x); }

    private:
        void build();

        float k;
        FunctionTable samples;
        ClipCurve shape;
    };

    // The lookup tables every filter of the process shares.
    struct SharedTables {
        FunctionTable frequency;
        FunctionTable dampingLimit;
        FunctionTable damping;
        OscillationTuning tuning;  // keeps self-oscillation at the cut-off
        ClipTable plainClip;       // used until a characteristic supplies its own
    };
    // Built once, thread-safely, on first use; lives until the library unloads.
    static const SharedTables& sharedTables();

    // What a characteristic asks of one segment.
    struct Settings {
        float resonanceAmount;
        float saturation;
        float drive;
    };

    // The streams of up to four owners for one block. Inactive lanes are not
    // filtered, their states do not move and their output is not written.
    struct Lanes {
        const float* input[laneCount] = {};
        float* output[laneCount] = {};
        const float* cutoff[laneCount] = {};          // log2 Hz per sample
        const float* peak[laneCount] = {};            // 0..1 per sample
        const float* peakMultiplier[laneCount] = {};  // optional, null: none
        // One value over the whole block: the cut-off, and the peak (times
        // the multiplier, when there is one). A steady cut-off spares the
        // search for moves; a steady peak as well, the segments of the grid.
        bool cutoffConstant[laneCount] = {};
        bool peakConstant[laneCount] = {};
        bool active[laneCount] = {};

        // Four flags as one word, a byte (0 or 1) per lane, to test them
        // all at once: the set-up of every block asks this several times.
        static std::uint32_t bits(const bool (&flags)[laneCount])
        {
            static_assert(sizeof(bool) == 1 && laneCount == 4);
            std::uint32_t word;
            std::memcpy(&word, flags, sizeof word);
            return word;
        }
        // The sum of the four bytes lands in the top one (a popcount would
        // be a library call on processors without the instruction).
        int activeCount() const { return static_cast<int>((bits(active) * 0x01010101u) >> 24); }
    };

    // The coefficients of one segment, per lane: frequency coefficient f,
    // saturation c, drive and output gain of the clip stage, damping per stage.
    struct Segment {
        int start;
        int end;
        LaneVector f;
        LaneVector saturation;
        LaneVector drive;
        LaneVector outputGain;
        LaneVector q[maxStages];
    };

    explicit StateVariableFilter(int maxBlockLength = defaultMaxBlockLength, float sampleRate = 44100.0f);
    virtual ~StateVariableFilter() = default;
    StateVariableFilter(const StateVariableFilter&) = delete;
    StateVariableFilter& operator=(const StateVariableFilter&) = delete;

    // 0 low-pass, 1 high-pass, anything else band-pass.
    Property<int> response;
    // 1 = 12 dB/oct (one stage), 2 = 24 (two), anything else 48 (four).
    Property<int> slope;

    // Audio thread, before a block: caches the rate and its log2 when it
    // changed (inline: every block asks, the rate hardly ever changes).
    void setSampleRate(float sampleRate)
    {
        if (sampleRate > 0.0f && sampleRate != rate)
            changeRate(sampleRate);
    }
    float sampleRate() const { return rate; }
    int maxBlockLength() const { return maxFrames; }

    // One lane (lane 0 of the states). Input and output may be the same
    // buffer. constant: cut-off and peak hold one value over the block (and
    // there is no multiplier), which spares the segment search. Audio thread.
    virtual void process(const float* input, float* output, const float* cutoff, const float* peak,
                         const float* peakMultiplier, int frameCount, bool constant);
    virtual bool supportsResponse(int) const { return true; }
    virtual bool supportsSlope(int value) const { return value != 0; }
    // Zeroes every state of every stage and lane.
    virtual void reset();
    // Up to four lanes in one pass, segmented jointly. Audio thread.
    virtual void processLanes(const Lanes& lanes, int frameCount);
    // Filters that share a pass: the stages of every member's active lanes
    // (at most four in all) run in one four-lane pass; each member segments
    // its lanes and runs its output stage as it would alone, so every lane
    // gives what its own filter gives (the states, coefficients and gain
    // compensation are the member's). The members must agree on response
    // and slope; otherwise, or with more than four lanes, nothing runs and
    // the result is false. Audio thread.
    struct Shared {
        StateVariableFilter* filter;
        const Lanes* lanes;
    };
    static bool processShared(std::span<const Shared> members, int frameCount);
    // The stream position of the next sample: an owner that skips blocks
    // (all its lanes switched off) keeps the segments on the stream's grid.
    // Without it the filter counts the samples it processed.
    void setStreamPosition(std::uint32_t position) { streamPosition = position; }
    // Settings for one segment; the plain filter is the table-less one.
    virtual Settings computeSettings(float cutoff, float peak);
    // Input gain of the first stage, undone at the output.
    virtual float gainCompensation() const { return 1.0f; }

    static int stageCount(int slope) { return slope == 1 ? 1 : slope == 2 ? 2 : 4; }

    // Inspection, for tests and the display: the segmentation of the last
    // block and the states.
    int lastSegmentCount() const { return segmentCount; }
    const Segment& lastSegment(int index) const { return segments[static_cast<size_t>(index)]; }
    float lowState(int stage, int lane) const { return low[stage][lane]; }
    float bandState(int stage, int lane) const { return band[stage][lane]; }

protected:
    void setClipTable(const ClipTable& table)
    {
        clip = &table;
        stale = true;
    }

private:
    void changeRate(float sampleRate);
    // What a block may move in the lanes it leaves out: beginRun saves that
    // much of them and endRun puts it back.
    enum class LeftOut {
        everything,     // the filter runs alone: its stages and output stage over all lanes
        outputStage,    // a shared pass: the stages run the members' lanes only
        previousPoint,  // a shared pass, the output stage in a pair
        nothing,        // no lane left out holds anything worth keeping (see kept)
    };

    void run(const Lanes& lanes, int offset, int frameCount);
    // interleave: the input into the interleaved work block (else the
    // stages read it where it is).
    LaneMask beginRun(const Lanes& lanes, int offset, int frameCount, LeftOut moves = LeftOut::everything,
                      bool interleave = true);
    // outputDone: the output stage has run and the output is written.
    void endRun(const Lanes& lanes, int offset, int frameCount, LaneMask active, bool outputDone = false);
    // The output stage, segment by segment, and the output out of the work block.
    // upDone: the two-lane run's way up ran beside the stages; curveDone:
    // its curve too.
    void writeOutput(const Lanes& lanes, int offset, int frameCount, bool upDone = false, bool curveDone = false);
    // The curve of two filters' output stages with one lane each, as one
    // two-lane run, segment by segment of either.
    static void runOutputPairs(std::span<const Shared> members, const int* pairWith, const int* placeOf,
                               const int* laneOf, LaneVector* work, int frameCount);
    // Lane `lane` of a member's output stage, as a pair takes it.
    static OversampledClip::Lane outputLane(const Shared& member, int lane)
    {
        return {&member.filter->output, lane, &member.filter->clip->curve()};
    }
    static void curveOutputPair(OversampledClip::Pair& pair, const StateVariableFilter& first, int firstLane,
                                const StateVariableFilter& second, int secondLane, int frameCount);
    static void runSharedStages(LaneVector* work, const Segment& seg, LaneVector* low, LaneVector* band,
                                LaneVector gain, LaneMask active, int stages, int tap,
                                svfkernel::WeightCache& cache);
    template <int S>
    static void runSharedStagesWith(LaneVector* work, const Segment& seg, LaneVector* low, LaneVector* band,
                                    LaneVector gain, LaneMask active, int tap, svfkernel::WeightCache& cache);
    int segment(const Lanes& lanes, int offset, int frameCount, LaneMask active, int stages, float comp);
    bool computedFrom(const Lanes& lanes, int offset, LaneMask active) const;
    bool carriesOn(const Lanes& lanes, int offset, LaneMask active) const;
    void computeLane(Segment& seg, int lane, float cutoff, float peak, int stages, float comp);
    // two: lanes 0 and 1 alone, their inputs read from these two buffers;
    // the output stage's way up runs beside the stages. Null: the
    // interleaved work block.
    void runStages(LaneVector* work, float comp, LaneMask active, const float* const* two);
#if OSTRAND_KERNEL_VERSIONS
    // The same with the way up and the curve beside the stages, for lanes 0
    // and 1 alone, on processors with AVX2 only.
    __attribute__((target("avx2"))) void runStagesWithCurve(const float* const* two, float comp, LaneMask active);
#endif
    template <class Input, class Sink>
    void runStagesInto(const Input& input, Sink& sink, int stages, float comp, LaneMask active);
    template <int S, class Input, class Sink>
    void runStagesWithTap(const Input& input, Sink& sink, float comp, LaneMask active);
    void engageStages(LaneMask active, int stages);
    bool saturates(LaneMask active) const;
    const Segment& inForce() const { return segments[static_cast<size_t>(currentSegment)]; }

    const SharedTables* tables;
    const ClipTable* clip;
    int maxFrames;
    float rate = 0.0f;
    float log2Rate = 0.0f;

    alignas(16) LaneVector low[maxStages] = {};
    alignas(16) LaneVector band[maxStages] = {};
    LaneMask engaged = {1, 1, 1, 1};  // per lane: the stages that ran in its last block
    LaneVector lastInput = {};        // per lane: the first stage's input at that block's end

    // The segment in force at the end of the last block, which the next
    // block continues, and per lane the cut-off and (multiplied) peak it
    // was computed from.
    int currentSegment = 0;  // in `segments`
    LaneVector currentCutoff = {};
    LaneVector currentPeak = {};
    LaneMask valid = {};  // lanes the segment in force holds coefficients for; its others are neutral
    int currentStages = 0;
    bool stale = true;  // the settings changed: recompute at the next block's start
    std::uint32_t streamPosition = 0;

    OversampledClip output;
    svfkernel::WeightCache weightCache;
    // The lanes filtered since the last reset: only their states are worth
    // keeping while they sit a block out (the others hold the reset state,
    // given back when they join). The effect's slots never fill lanes 2 and
    // 3, and keeping them cost more than the rest of a block's set-up.
    LaneMask kept = {};
    // The states of a block's inactive lanes, from its start to its end.
    LaneVector savedLow[maxStages] = {};
    LaneVector savedBand[maxStages] = {};
    OversampledClip::State savedOutput;
    OversampledClip::PreviousPoint savedPoint;
    LeftOut leftOutMoves = LeftOut::everything;
    float blockCompensation = 1.0f;  // gainCompensation() as this block's set-up found it

    std::vector<Segment> segments;
    int segmentCount = 0;
    std::vector<LaneVector> laneWork;  // interleaved: one vector per sample
    std::vector<float> zeros;          // input of inactive lanes
    std::vector<float> discard;        // output of inactive lanes
};
