#pragma once

#include "filters/ControlInput.h"
#include "wave/Consumer.h"
#include "wave/FloatParameterSource.h"

// One input of a mixing node: an audio producer and the gain it is weighted
// with, the input's own smoothed gain, so a node can glide an input in and
// out without anyone building a parameter source for it.
class WeightedInput {
public:
    // Control thread, while building.
    WeightedInput(wave::Graph& graph, float initialGain);
    WeightedInput(const WeightedInput&) = delete;
    WeightedInput& operator=(const WeightedInput&) = delete;

    void setSource(wave::Producer* audio) { audioLink.setSource(audio); }
    wave::Producer* getSource() const { return audioLink.getSource(); }

    // Moves the own gain to value over timeMs (ParameterRamp::automaticTime
    // chooses the time from the size of the move, 0 jumps). Audio thread, or
    // the control thread while the graph is not processing.
    void setGain(float value, float timeMs);
    // Where the own gain is heading.
    float getGain() const { return ownGain.getRamp().getTarget(); }

    // This frame's gain samples. Audio thread.
    ControlInput::Signal pullGain(int numSamples);
    // The gain is no longer gliding: it stays where it is until setGain
    // changes it. Audio thread, after pullGain.
    bool hasSettledGain() const { return !ownGain.getRamp().isRunning(); }
    // This frame's audio block; silence without an audio producer. Audio thread.
    const wave::Block& pullAudio(int numSamples)
    {
        wave::Producer* audio = audioLink.getSource();
        return audio ? audio->pull(numSamples, 0) : ownGain.getGraph().getScratch();
    }

private:
    wave::Consumer audioLink;
    FloatParameterSource ownGain;
};
