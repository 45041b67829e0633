#include "filters/Router.h"

#include <algorithm>

Router::Router(wave::Graph& graph, int numInputs, int selected) : WeightedSource(graph), selection(this, 0)
{
    numInputs = std::max(numInputs, 1);
    const int chosen = std::clamp(selected, 0, numInputs - 1);
    for (int i = 0; i < numInputs; ++i)
        addInput(i == chosen ? 1.0f : 0.0f);
    selection.set(chosen);
}

Router::~Router() = default;

void Router::select(int index, float timeMs)
{
    const int clamped = std::clamp(index, 0, getInputCount() - 1);
    // The property only notifies on a change; the gains must follow this
    // call's time even when the selection stays.
    selection.setQuietly(clamped);
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
        setGain(i, i == selection ? 1.0f : 0.0f, timeMs);
}

int Router::process(wave::Block& target, int numSamples, int flags)
{
    if (flags & (OutputNotNeeded | NoConsumer))
        return numSamples;
    const WeightedSum::Result r = weightedSum(getInputCount(), target, numSamples);
    setLastBlock(*r.block);
    setConstant(r.constant);
    return numSamples;
}
