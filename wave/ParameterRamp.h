#pragma once

#include "wave/Block.h"
#include "wave/Graph.h"

#include <cstdint>

// The linear smoother behind every parameter that becomes an audio-rate
// signal. A new target is reached along a straight line whose length follows
// the size of the move: moves of 30 % of the reference range or more take the
// shortest time (20 ms), smaller ones glide longer, up to 150 ms, so
// automation steps do not click and big jumps still answer quickly.
//
// The ramp runs on graph time: whatever samples the graph processed since the
// ramp last looked count as ramp progress, so it may be rendered every frame,
// now and then, or by several producers (a parameter source, a forwarder of
// a ramp owned by a modulation target) without drifting.
class ParameterRamp {
public:
    // Pass as the time to choose it from the size of the move.
    static constexpr float automaticTime = -1.0f;
    static constexpr float shortestTimeMs = 20.0f;
    static constexpr float longestTimeMs = 150.0f;

    // Control thread, while building. Range [min(0, v), max(1, v)], at rest
    // on v. Allocates the output block (the graph's block size).
    ParameterRamp(wave::Graph& graph, float initial);
    ParameterRamp(const ParameterRamp&) = delete;
    ParameterRamp& operator=(const ParameterRamp&) = delete;

    // Starts a glide from the value reached so far to value (clamped into the
    // limits) over timeMs milliseconds; a negative time chooses it from the
    // move, 0 jumps. A target within 2^-23 of the current one changes nothing.
    // Audio thread (parameter changes are applied there).
    void setTarget(float timeMs, float value);

    // Replaces the limits and makes their span the reference range; a target
    // outside the new limits jumps into them. Control or audio thread.
    void setLimits(float lower, float upper);
    // The span that "30 % of the range" refers to (above 0).
    void setReferenceRange(float range);
    // The shortest and longest automatic ramp times in ms. Equal times make
    // every automatic ramp take that time.
    void setRampTimes(float shortestMs, float longestMs);

    // Renders numSamples samples for the graph's current sub-block into the
    // ramp's block. Returns true when the block holds the target throughout
    // (the ramp is over). Audio thread.
    bool render(int numSamples);
    // Renders, or with Producer::OutputNotNeeded in flags only brings the ramp
    // up to the present and reports a constant block. Audio thread.
    bool produce(int numSamples, int flags);
    // Brings the ramp up to the graph's current position. Audio thread.
    void advanceToPresent();

    // The block holds the target for numSamples samples and no glide is
    // under way, so rendering would change nothing: a reader may take the
    // block as it stands. (A settled ramp has nothing to advance either;
    // only setTarget starts it again.) Audio thread.
    bool holds(int numSamples) const { return position >= length && filled >= numSamples; }

    const wave::Block& getBlock() const { return output; }
    // Leading samples of the block that hold the target, none while a glide
    // is under way: how long a reader may take the block as it stands.
    int heldSamples() const { return isRunning() ? 0 : filled; }
    float getTarget() const { return target; }
    // The value at the graph's current position. Brings the ramp up to it.
    float getCurrentValue();
    bool isRunning() const { return position < length; }
    int getLength() const { return length; }
    int getPosition() const { return position; }
    float getIncrement() const { return increment; }
    float getLower() const { return lower; }
    float getUpper() const { return upper; }
    float getReferenceRange() const { return referenceRange; }
    wave::Graph& getGraph() const { return ownerGraph; }

private:
    float valueAtPosition() const;

    wave::Graph& ownerGraph;
    float shortestMs = shortestTimeMs;
    float longestMs = longestTimeMs;
    wave::Block output;
    int position = 0; // samples since the ramp started, at graph position `advancedTo`
    int length = 0;   // samples of the ramp; position >= length means it is over
    float start;
    float increment = 0.0f;
    float upper;
    float lower;
    float referenceRange;
    std::uint32_t advancedTo;
    std::uint32_t resetsSeen; // the graph's reset count at the last look
    int filled = 0; // leading block samples that already hold the target
    float target;
};
