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
