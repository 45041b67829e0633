#include "modulation/FloatParameterForwarder.h"

FloatParameterForwarder::FloatParameterForwarder(ParameterRamp& forwarded)
    : wave::Source(forwarded.getGraph(), NoOwnBlock), ramp(forwarded)
{
    setLastBlock(ramp.getBlock());
    setConstant(!ramp.isRunning());
}

int FloatParameterForwarder::process(wave::Block&, int numSamples, int flags)
{
    setConstant(ramp.produce(numSamples, flags));
    setLastBlock(ramp.getBlock());
    return numSamples;
}
