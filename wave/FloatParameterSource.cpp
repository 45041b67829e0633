#include "wave/FloatParameterSource.h"

FloatParameterSource::FloatParameterSource(wave::Graph& graph, float initial)
    : wave::Source(graph, NoOwnBlock), ramp(graph, initial)
{
    setLastBlock(ramp.getBlock());
    setConstant(true);
    ramp.render(graph.getBlockSize());
}

int FloatParameterSource::process(wave::Block&, int numSamples, int flags)
{
    setConstant(ramp.produce(numSamples, flags));
    setLastBlock(ramp.getBlock());
    return numSamples;
}
