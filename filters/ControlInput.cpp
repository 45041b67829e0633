#include "filters/ControlInput.h"

#include "wave/Graph.h"
#include "wave/Producer.h"

ControlInput::ControlInput(wave::Graph& graph, float defaultValue)
    : fallbackValue(defaultValue), fallback(graph.getBlockSize())
{
    fallback.fill(defaultValue);
}

void ControlInput::setDefault(float value)
{
    if (value == fallbackValue)
        return;
    fallbackValue = value;
    fallback.fill(value);
}

ControlInput::Signal ControlInput::pull(int numSamples)
{
    if (wave::Producer* source = getSource()) {
        const wave::Block& block = source->pull(numSamples, 0);
        return {block.data(), source->isConstant()};
    }
    return {fallback.data(), true};
}
