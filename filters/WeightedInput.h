#pragma once

#include "filters/ControlInput.h"
#include "wave/Consumer.h"
#include "wave/FloatParameterSource.h"

#include <memory>
#include <span>
#include <vector>

// One input of a mixing node: an audio producer and the gain it is weighted
// with. The gain is a linked gain producer or, while none is linked, the
// input's own smoothed gain, so a node can glide an input in and out without
// anyone building a parameter source for it.
class WeightedInput {
public:
    // Control thread, while building.
    WeightedInput(wave::Graph& graph, float initialGain);
    WeightedInput(const WeightedInput&) = delete;
    WeightedInput& operator=(const WeightedInput&) = delete;

    void setSource(wave::Producer* audio) { audioLink.setSource(audio); }
    wave::Producer* getSource() const { return audioLink.getSource(); }
    void setGainSource(wave::Producer* gain) { gainLink.setSource(gain); }
    wave::Producer* getGainSource() const { return gainLink.getSource(); }

    // Moves the own gain to value over timeMs (ParameterRamp::automaticTime
    // chooses the time from the size of the move, 0 jumps). Audio thread, or
    // the control thread while the graph is not processing.
    void setGain(float value, float timeMs);
    // Where the own gain is heading.
    float getGain() const { return ownGain.getRamp().getTarget(); }

    // This frame's gain samples (linked or own). Audio thread.
    ControlInput::Signal pullGain(int numSamples);
    // This frame's audio block; silence without an audio producer. Audio thread.
    const wave::Block& pullAudio(int numSamples)
    {
        wave::Producer* audio = audioLink.getSource();
        return audio ? audio->pull(numSamples, 0) : ownGain.getGraph().getScratch();
    }

private:
    wave::Consumer audioLink;
    wave::Consumer gainLink;
    FloatParameterSource ownGain;
};

// The sign of a gain block for the shortcuts of the mixing nodes: only a
// constant block can be 0 or 1 throughout.
inline bool isConstantZero(const ControlInput::Signal& g)
{
    return g.constant && g.samples[0] >= -1.1920929e-7f && g.samples[0] <= 1.1920929e-7f;
}

inline bool isConstantOne(const ControlInput::Signal& g)
{
    return g.constant && g.samples[0] >= 1.0f - 1.1920929e-7f && g.samples[0] <= 1.0f + 1.1920929e-7f;
}

// The sum of weighted inputs shared by Mixer and Router. Inputs whose gain is
// constantly 0 are left out without pulling their audio; a single input with
// a constant gain of 1 is handed through as its own block; no contributing
// input gives the silence block.
class WeightedSum {
public:
    struct Result {
        const wave::Block* block;
        bool constant;
    };

    // Control thread: room for this many inputs, so run never allocates.
    void reserve(std::size_t count);

    // Audio thread. Uses the first `count` inputs (at most the reserved number).
    Result run(std::span<const std::unique_ptr<WeightedInput>> inputs, wave::Block& target,
               const wave::Block& silence, int numSamples);

private:
    std::vector<WeightedInput*> contributing;
    std::vector<ControlInput::Signal> gains;
};
