#include "filters/Router.h"

#include <algorithm>

Router::Router(wave::Graph& graph, int numInputs, int selected) : wave::Source(graph), selection(this, 0)
{
    numInputs = std::max(numInputs, 1);
    const int chosen = std::clamp(selected, 0, numInputs - 1);
    for (int i = 0; i < numInputs; ++i)
        inputs.push_back(std::make_unique<WeightedInput>(graph, i == chosen ? 1.0f : 0.0f));
    summing.reserve(inputs.size());
    selection.set(chosen);
}

Router::~Router() = default;

WeightedInput* Router::input(int index) const
{
    if (index < 0 || index >= static_cast<int>(inputs.size()))
        return nullptr;
    return inputs[static_cast<std::size_t>(index)].get();
}

void Router::setInput(int index, wave::Producer* audio)
{
    if (WeightedInput* in = input(index))
        in->setSource(audio);
}

wave::Producer* Router::getInput(int index) const
{
    const WeightedInput* in = input(index);
    return in ? in->getSource() : nullptr;
}

void Router::setGainSource(int index, wave::Producer* gain)
{
    if (WeightedInput* in = input(index))
        in->setGainSource(gain);
}

void Router::setGain(int index, float gain, float timeMs)
{
    if (WeightedInput* in = input(index))
        in->setGain(gain, timeMs);
}

float Router::getGain(int index) const
{
    const WeightedInput* in = input(index);
    return in ? in->getGain() : 0.0f;
}

void Router::select(int index, float timeMs)
{
    const int clamped = std::clamp(index, 0, getInputCount() - 1);
    // The property only notifies on a change; the gains must follow this
    // call's time even when the selection stays.
    selection.setOwner(nullptr);
    selection.set(clamped);
    selection.setOwner(this);
    applySelection(timeMs);
}

void Router::propertyChanged(PropertyBase& property)
{
    if (&property != &selection)
        return;
    const int clamped = std::clamp(selection.get(), 0, getInputCount() - 1);
    if (clamped != selection.get()) {
        selection = clamped; // notifies again with the clamped value
        return;
    }
    applySelection(ParameterRamp::automaticTime);
}

void Router::applySelection(float timeMs)
{
    for (int i = 0; i < getInputCount(); ++i)
        inputs[static_cast<std::size_t>(i)]->setGain(i == selection ? 1.0f : 0.0f, timeMs);
}

int Router::process(wave::Block& target, int numSamples, int flags)
{
    if (flags & (OutputNotNeeded | NoConsumer))
        return numSamples;
    const WeightedSum::Result r = summing.run(inputs, target, getGraph().getScratch(), numSamples);
    setLastBlock(*r.block);
    setConstant(r.constant);
    return numSamples;
}
