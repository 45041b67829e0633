#include "filters/VolumeFilter.h"

#include "wave/BlockLoops.h"

using namespace blockloops;

VolumeFilter::VolumeFilter(wave::Graph& graph, wave::Producer* source)
    : wave::Filter(graph, source), gain(graph, 1.0f), gain2(graph, 1.0f)
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
    const ControlInput::Signal g1 = gain.pull(n);
    const bool second = gain2.isLinked();
    const ControlInput::Signal g2 = second ? gain2.pull(n) : ControlInput::Signal{nullptr, true};
    if (isConstantZero(g1) || (second && isConstantZero(g2))) {
        outputSilence();
        return;
    }
    const bool unity1 = isConstantOne(g1);
    const bool unity2 = !second || isConstantOne(g2);
    if (unity1 && unity2) {
        setLastBlock(*input);
        setConstant(getSource() && getSource()->isConstant());
        return;
    }
    float* out = output.data();
    const float* in = input->data();
    if (unity2) {
        if (g1.constant)
            scale(out, in, g1.samples[0], n);
        else
            multiply(out, in, g1.samples, n);
    } else if (unity1) {
        multiply(out, in, g2.samples, n);
    } else {
        for (int i = 0; i < n; i += 4)
            store(out + i, load(in + i) * load(g1.samples + i) * load(g2.samples + i));
    }
    setConstant(false);
}
