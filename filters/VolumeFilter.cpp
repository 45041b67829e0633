#include "filters/VolumeFilter.h"

#include "wave/BlockLoops.h"

using namespace blockloops;

VolumeFilter::VolumeFilter(wave::Graph& graph, wave::Producer* source)
    : wave::Filter(graph, source), gain(graph, 1.0f)
{
}

void VolumeFilter::outputSilence()
{
    setLastBlock(getGraph().getScratch());
    setConstant(true);
}

int VolumeFilter::process(wave::Block& target, int numSamples, int flags)
{
    if (muteController && muteController->isMuted()) {
        // The source keeps its state moving (or is left to the run list when
        // the link says so); nothing of it reaches the output.
        pullSource(numSamples, flags | OutputNotNeeded);
        outputSilence();
        return numSamples;
    }
    return wave::Filter::process(target, numSamples, flags);
}

void VolumeFilter::processBlock(const wave::Block* input, wave::Block& output, int n, int flags)
{
    if (flags & (OutputNotNeeded | NoConsumer))
        return;
    if (!input) {
        outputSilence();
        return;
    }
    const ControlInput::Signal g = gain.pull(n);
    if (isConstantZero(g)) {
        outputSilence();
        return;
    }
    if (isConstantOne(g)) {
        setLastBlock(*input);
        setConstant(getSource() && getSource()->isConstant());
        // A gain that stays at 1 (and no mute to watch): the input itself
        // until something changes.
        if (!muteController && gain.getSource() && gain.getSource()->holdsStill())
            handOn(getSource());
        return;
    }
    if (g.constant)
        scale(output.data(), input->data(), g.samples[0], n);
    else
        multiply(output.data(), input->data(), g.samples, n);
    setConstant(false);
}
