#pragma once

#include "framework/Property.h"
#include "wave/Filter.h"
#include "wave/LaneVector.h"

// The silence detector behind the automatic muting of self-oscillation. Its
// input is the audio of one or two channels, whose level is the largest
// magnitude over them; a one-pole follower with time constant T smooths it,
// and the output is a gain: 1 while the smoothed level s is at or above the
// threshold h, falling linearly to 0 with it below (s / h). Multiplied into
// the filters' peak, it lets resonance die away while the input is silent.
// The level is taken in the follower's own pass over the samples, not
// gathered into a block of its own first.
class FilterAnalyzer : public wave::Filter, public PropertyOwner {
public:
    // Control thread, while building. Puts itself into the reset list.
    explicit FilterAnalyzer(wave::Graph& graph, wave::Producer* source = nullptr);

    // The second channel (null: the source alone). Control thread, or the
    // audio thread where links change.
    void setSecondChannel(wave::Producer* channel) { secondChannel.setSource(channel); }

    // Milliseconds; 0 or less follows the input at once.
    Property<float> timeConstant;
    // 0 or less keeps the output at 1.
    Property<float> threshold;

    float getFollowerState() const { return state; }

    // Audio thread. With OutputNotNeeded the follower still runs.
    void processBlock(const wave::Block* input, wave::Block& output, int numSamples, int flags) override;
    // Outside processing: the follower returns to 0.
    void reset() override
    {
        state = groupStart = 0.0f;
        groupFilled = 0;
    }

    void propertyChanged(PropertyBase& property) override;

private:
    // Returns whether every gain written was 1.
    template <bool WriteOutput>
    bool follow(const float* first, const float* second, float* out, int numSamples, float a);

    wave::Consumer secondChannel;

    float reciprocalThreshold = 0.0f;
    float state = 0.0f;       // after the last sample
    float groupStart = 0.0f;  // at the start of the stream's current group of four
    int groupFilled = 0;      // samples of that group seen so far
    LaneVector groupInputs = {};
};
