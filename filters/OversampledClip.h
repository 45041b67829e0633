#pragma once

#include "filters/KernelClones.h"
#include "filters/HalfBandFilter.h"
#include "wave/LaneVector.h"

#include <vector>

class FunctionTable;

// The clip curve as the output stage reads it: the table of a
// FunctionTable, and for each of its intervals the curve's integral from 0
// to the interval's start, so that the integral up to any point is exact
// for the linearly interpolated curve. Outside the table's domain the curve
// holds its end values: it saturates instead of wrapping around the table.
class ClipCurve {
public:
    struct alignas(16) Interval {
        float integral;  // from 0 to the interval's start
        float value;     // at its start
        float rise;      // to its end
        float unused;
    };

    void build(const FunctionTable& table);

    float lower() const { return low; }
    float upper() const { return high; }
    float reciprocalStep() const { return reciprocal; }
    float step() const { return width; }
    int lastInterval() const { return static_cast<int>(intervals.size()) - 1; }  // the guard at the upper end
    const Interval* data() const { return intervals.data(); }

    // Scalar forms, for tests and for callers outside the audio loop.
    float value(float x) const;
    float integral(float x) const;

private:
    std::vector<Interval> intervals;
    float low = 0.0f;
    float high = 0.0f;
    float reciprocal = 0.0f;
    float width = 0.0f;
};

// The output stage of the saturating filter for four lanes: y = clip(x
// drive) gain, run at four times the sample rate so that the overtones the
// clip curve adds above half the rate are filtered away instead of folding
// back into the audio band as inharmonic tones.
//
// Up by two elliptic half-band stages (the first with its steep edge
// between 20 and 28 kHz, the second only stopping the images around the
// doubled rate); the curve is then applied as the mean of the curve over
// the straight line from one sample to the next (the difference of its
// integral divided by the difference of the arguments, an antiderivative
// anti-aliasing that damps what is still left above the fourfold rate).
// Down first by a short linear-phase half-band filter, (-1, 0, 9, 16, 9, 0,
// -1) / 32, which has no feedback and so costs a few additions where a
// recursive stage keeps every sample waiting for the one before: what it
// leaves between a quarter and half the fourfold rate lands above the
// audio band, where the first stage's mirror image removes it, and it is
// deepest at half the fourfold rate, where the overtones that would land
// at low frequencies sit. (Going up, the same short filter would let the
// images of a resonance near 20 kHz into the curve, and raised the true
// peak of a screaming filter by 0.5 dB.) Where two neighbouring arguments
// lie closer than a 64th, the mean of the two curve values stands in for
// the quotient, which would lose its precision there. A full-scale 7 kHz
// sine at +12 dB into any characteristic folds back at most -57 dB, 11 kHz
// at most -54 dB (at the base rate: -10 to -48 dB).
//
// The cost: six elliptic half-band passes, the short filter and the four
// curve evaluations per sample. The group delay it adds is 2.7
// samples at low frequencies; the short filter takes 0.02 dB at 10 kHz and
// 0.27 dB at 20 kHz (at 48 kHz).
//
// A one-pole DC blocker at 5 Hz follows: curves that treat the two
// half-waves differently rectify part of the signal into a DC offset (up to
// +1.1 on loud noise), which nobody wants at an output and which costs
// headroom after it. It serves every characteristic alike, so that
// switching between them never switches it (a step by the signal's low
// end); its own effect is -0.26 dB at 20 Hz.
//
// Values that are not finite count as 0, and arguments beyond +-64 hold
// there (the curve saturates at +-40 anyway), so the states stay finite.
class OversampledClip {
public:
    // The group delay above in whole samples at the base rate: 2.7 at low
    // frequencies, 2.9 at 10 kHz (3.0 with the filter in front of it). A
    // path beside this stage is delayed by as much to meet it in step.
    static constexpr int latency = 3;

    // Everything the stage remembers between samples, per lane: lane vectors
    // only, so that lanes move between states vector by vector.
    struct State {
        halfband::Interpolator<3> up1;
        halfband::Interpolator<2> up2;
        LaneVector downHistory[5] = {};  // the last five curve outputs at four times the rate, oldest first
        halfband::Decimator<3> down1;
        LaneVector previousDrive = {1.0f, 1.0f, 1.0f, 1.0f};
        LaneVector previousArgument = {};  // driven
        LaneVector previousIntegral = {};
        LaneVector previousValue = {};
        LaneVector dcInput = {};
        LaneVector dcOutput = {};

        // Lanes outside `active` go back to where `before` had them.
        void keepLanes(const State& before, LaneMask active);
        // Lane `to` takes lane `lane` of `from`.
        void copyLane(int to, const State& from, int lane);
    };

    // Two stages that each have one lane in use, run as the two lanes of
    // one pass (the cost of one stage instead of two): the first stage's
    // lane in lane 0 of the work, the second's in lane 1, each with its own
    // states, curve, drive and gain, so each gives what its stage gives
    // alone. Both stages run at the same rate. Audio thread.
    //
    // The pair lives in the first stage and keeps the two lanes' states from
    // block to block while the same two lanes pair up again; moving 27
    // vectors per lane in and out every block cost more than the rest of
    // the pair's set-up. Meanwhile those lanes of the stages' own states are
    // out of date, so every other use of a stage gives its lanes back first
    // (giveBack): the runs, the state and its lanes, steps, reset. Only the
    // previous point is read without that: each segment a pair opens writes
    // its lane's point into the stage, reads it again as the stage would
    // (readPrevious, over all its lanes) and takes it back, and a shared
    // pass saves and restores the previous point of the stage's other lanes
    // alone (a stage's one lent lane is the lane it runs in the pair, since
    // the pass gives a lane back before anything else when the same pair
    // does not run again).
    struct Lane {
        OversampledClip* stage;
        int lane;
        const ClipCurve* curve;
    };
    class Pair {
    public:
        // The pair of these two lanes for this block: the one of the last
        // block when it was the same, else a new one, the lanes' states moved
        // in (those of any pair either lane was in given back first).
        static Pair& of(Lane first, Lane second);
        // Whether the pair of the last block was this one.
        static bool holds(const OversampledClip& first, int firstLane, const OversampledClip& second,
                          int secondLane);
        // As beginTwoLanes, curveTwoLanes and endTwoLanes, for lanes 0 and 1
        // of the work (drive and gain per lane). Up and down take a second
        // pair over the same samples (or null): both then run at once.
        static void up(Pair& a, Pair* b, const LaneVector* workA, const LaneVector* workB, int n);
        // Where a segment of stage `which` (0 or 1) starts, with the drive of
        // all its lanes, before the curve from there.
        void openSegment(int which, LaneVector drive);
        void curve(int begin, int end, LaneVector drive, LaneVector gain);
        static void down(Pair& a, Pair* b, LaneVector* workA, LaneVector* workB, int n);

    private:
        friend class OversampledClip;
        void giveBack();

        Lane lanes[2] = {};
        State state;
    };

    // Sized for runs of up to maxBlockLength samples.
    explicit OversampledClip(int maxBlockLength);
    ~OversampledClip() { giveBack(); }
    OversampledClip(const OversampledClip&) = delete;
    OversampledClip& operator=(const OversampledClip&) = delete;

    void setSampleRate(float rate);
    // Runs samples [begin, end) of the interleaved lanes in place, DC
    // blocker included; at most maxBlockLength of them.
    void run(LaneVector* work, int begin, int end, LaneVector drive, LaneVector gain, const ClipCurve& curve);
    // The two-lane run in three steps, so that the half-band filters run
    // once over a block of several segments: up over the block's n samples,
    // the curve for each segment [begin, end) of it, then down. The same
    // samples as run() segment by segment, lanes 0 and 1 written straight to
    // their own buffers.
    void beginTwoLanes(const LaneVector* work, int n);
    void curveTwoLanes(int begin, int end, LaneVector drive, LaneVector gain, const ClipCurve& curve);
    void endTwoLanes(float* first, float* second, int n);
    // The way up of the two-lane run one sample at a time, for a filter
    // that runs it in its own loop instead of beginTwoLanes
    // (OversampledClipSteps.h): what the steps work on, and where the
    // fourfold pairs go (two per sample).
    struct Steps {
        State& state;
        const halfband::Coefficients<3>& first;
        const halfband::Coefficients<2>& second;
        LaneVector* pairs;
    };
    Steps steps()
    {
        giveBack();
        return {memory, firstStage, secondStage, quadrupled.data()};
    }
    // The curve of the two-lane run segment by segment, for a filter that
    // runs it in its own loop as well (after steps()): the previous point
    // read again for the segment's drive and curve, as curveTwoLanes does
    // before its loop.
    void openCurve(LaneVector drive, const ClipCurve& curve)
    {
        giveBack();
        readPrevious(drive, curve);
    }
    void reset();
    // The lane a pair holds (see Pair) back into this stage's state, and
    // the other lane of that pair into its own.
    void giveBack()
    {
        if (lent)
            lent->giveBack();
    }

    // A lane left out of a block keeps its state: saved before, restored after.
    const State& state()
    {
        giveBack();
        return memory;
    }
    void keepLanes(const State& before, LaneMask active)
    {
        giveBack();
        memory.keepLanes(before, active);
    }
    // All that pairs move in the lanes of a stage outside them: the previous
    // point, which each segment a pair opens reads again for every lane of
    // the stage, as the stage alone would. Saving this instead of the whole
    // state spares a stage that only runs in pairs most of its copying.
    struct PreviousPoint {
        LaneVector drive;
        LaneVector argument;
        LaneVector integral;
        LaneVector value;
    };
    PreviousPoint previousPoint() const
    {
        return {memory.previousDrive, memory.previousArgument, memory.previousIntegral, memory.previousValue};
    }
    void keepPreviousPoint(const PreviousPoint& before, LaneMask active)
    {
        memory.previousDrive = select(active, memory.previousDrive, before.drive);
        memory.previousArgument = select(active, memory.previousArgument, before.argument);
        memory.previousIntegral = select(active, memory.previousIntegral, before.integral);
        memory.previousValue = select(active, memory.previousValue, before.value);
    }

    // The curve of each lane as the loops read it (defined beside them).
    struct CurveView;

private:
    void readPrevious(LaneVector drive, const ClipCurve& curve);
    void blockDc(LaneVector* work, int n);
    // Lanes 0 and 1 of `state` (and of otherState, other's buffers), each
    // with its lane of drive, gain and curve, through `quadrupled`.
    // Multiversioned (AVX2 and default); clang wants that said where the
    // function is first declared, since it is called before its definition.
    OSTRAND_KERNEL_CLONES void upTwoLanes(State& state, const LaneVector* x, int n);
    OSTRAND_KERNEL_CLONES void downTwoLanes(State& state, LaneVector* x, int n);
    OSTRAND_KERNEL_CLONES void downTwoLanesInto(State& state, float* first, float* second, int n);
    OSTRAND_KERNEL_CLONES void upTwoPairs(OversampledClip& other, State& state, State& otherState,
                                          const LaneVector* x, const LaneVector* otherX, int n);
    OSTRAND_KERNEL_CLONES void downTwoPairs(OversampledClip& other, State& state, State& otherState, LaneVector* x,
                                            LaneVector* otherX, int n);
    void curveSpan(State& state, int begin, int end, LaneVector drive, LaneVector gain, const CurveView& curve);

    halfband::Coefficients<3> firstStage;
    halfband::Coefficients<2> secondStage;
    State memory;
    const ClipCurve* previousCurve = nullptr;  // the one the previous point was read from
    std::vector<LaneVector> doubled;           // the run at twice the rate
    std::vector<LaneVector> quadrupled;        // and at four times
    float dcPole = 0.0f;
    Pair led;              // the pair whose first stage this is, while `lent` points here
    Pair* lent = nullptr;  // the pair holding a lane of this stage, if any
};

inline bool OversampledClip::Pair::holds(const OversampledClip& first, int firstLane, const OversampledClip& second,
                                         int secondLane)
{
    const Pair* pair = &first.led;
    return first.lent == pair && second.lent == pair && pair->lanes[0].lane == firstLane &&
           pair->lanes[1].lane == secondLane;
}
