#include "modulation/SourceInput.h"

SourceInput::SourceInput(wave::Graph& graph, float initial, float lower, float upper)
    : internal(graph, initial)
{
    internal.getRamp().setLimits(lower, upper);
    internal.setTarget(0.0f, initial);
    setSource(&internal);
}

SourceInput::~SourceInput()
{
    // The own value dies before the Consumer base unlinks it.
    setSource(nullptr);
}
