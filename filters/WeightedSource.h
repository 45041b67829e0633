#pragma once

#include "filters/WeightedInput.h"
#include "filters/WeightedSum.h"
#include "wave/ParameterRamp.h"
#include "wave/Source.h"

#include <memory>
#include <span>
#include <vector>

// A source node that combines weighted inputs, each an audio producer and a
// gain (see WeightedInput): what Mixer and Router share. Indices outside
// the inputs are ignored; the getters then give null or 0.
class WeightedSource : public wave::Source {
public:
    void setInput(int index, wave::Producer* audio);
    wave::Producer* getInput(int index) const;
    // Moves the input's own gain (see WeightedInput::setGain).
    void setGain(int index, float gain, float timeMs = ParameterRamp::automaticTime);
    float getGain(int index) const;

    // The input's producer while the sum hands it on alone and settled.
    const wave::Producer* passesOn() const override;

protected:
    explicit WeightedSource(wave::Graph& graph) : wave::Source(graph) {}

    // Control thread: appends an input with its own gain starting at gain.
    void addInput(float gain);
    int storedInputs() const { return static_cast<int>(inputs.size()); }
    WeightedInput* input(int index) const;
    // Audio thread: the weighted sum of the first count inputs.
    WeightedSum::Result weightedSum(int count, wave::Block& target, int numSamples);
    // An input, a gain or the number of inputs in use changed: the sum
    // looks at every gain again, and nothing is handed on until it settles.
    void forgetRoute()
    {
        summing.forgetRoute();
        handOn(nullptr);
    }

private:
    std::vector<std::unique_ptr<WeightedInput>> inputs;
    WeightedSum summing;
};
