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
    // Settled, the block holds the value until a new target, which ends the
    // graph's rests: until then pulls take it without a pass through here.
    if (!(flags & OutputNotNeeded) && !ramp.isRunning())
        restOn(ramp.getBlock(), ramp.heldSamples());
    return numSamples;
}
