#include "filters/WeightedSource.h"

#include "wave/Graph.h"

#include <algorithm>

void WeightedSource::addInput(float gain)
{
    inputs.push_back(std::make_unique<WeightedInput>(getGraph(), gain));
    summing.reserve(inputs.size());
    forgetRoute();
}

WeightedInput* WeightedSource::input(int index) const
{
    if (index < 0 || index >= storedInputs())
        return nullptr;
    return inputs[static_cast<std::size_t>(index)].get();
}

void WeightedSource::setInput(int index, wave::Producer* audio)
{
    if (WeightedInput* in = input(index))
        in->setSource(audio);
    forgetRoute();
}

wave::Producer* WeightedSource::getInput(int index) const
{
    const WeightedInput* in = input(index);
    return in ? in->getSource() : nullptr;
}

void WeightedSource::setGain(int index, float gain, float timeMs)
{
    if (WeightedInput* in = input(index))
        in->setGain(gain, timeMs);
    forgetRoute();
}

float WeightedSource::getGain(int index) const
{
    const WeightedInput* in = input(index);
    return in ? in->getGain() : 0.0f;
}

WeightedSum::Result WeightedSource::weightedSum(int count, wave::Block& target, int numSamples)
{
    const auto used = static_cast<std::size_t>(std::clamp(count, 0, storedInputs()));
    const WeightedSum::Result r = summing.run(std::span(inputs).first(used), target, getGraph().getScratch(), numSamples);
    // Settled on one input: later frames take its block without a pass
    // through here, until forgetRoute.
    if (const WeightedInput* in = input(summing.settledInput()))
        handOn(in->getSource());
    return r;
}

const wave::Producer* WeightedSource::passesOn() const
{
    const WeightedInput* in = input(summing.settledInput());
    return in ? in->getSource() : nullptr;
}
