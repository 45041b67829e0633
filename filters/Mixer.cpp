#include "filters/Mixer.h"

#include "wave/BlockLoops.h"

#include <algorithm>

using namespace blockloops;

Mixer::Mixer(wave::Graph& graph, int numInputs, int op)
    : WeightedSource(graph), operation(this, std::clamp(op, 0, 1)), inputCount(this, 0)
{
    inputCount = std::max(numInputs, 0);
}

Mixer::~Mixer() = default;

void Mixer::propertyChanged(PropertyBase& property)
{
    if (&property == &operation) {
        const int clamped = std::clamp(operation.get(), 0, 1);
        if (clamped != operation.get())
            operation = clamped;
        // Only a sum hands an input on.
        forgetRoute();
    } else if (&property == &inputCount) {
        if (inputCount < 0) {
            inputCount = 0;
            return;
        }
        while (storedInputs() < inputCount)
            addInput(1.0f);
        forgetRoute();
    }
}

void Mixer::outputSilence()
{
    setLastBlock(getGraph().getScratch());
    setConstant(true);
}

int Mixer::process(wave::Block& target, int numSamples, int flags)
{
    if (flags & (OutputNotNeeded | NoConsumer))
        return numSamples;
    if (operation == sum) {
        const WeightedSum::Result r = weightedSum(inputCount, target, numSamples);
        setLastBlock(*r.block);
        setConstant(r.constant);
    } else {
        processMaximum(target, numSamples);
    }
    return numSamples;
}

void Mixer::processMaximum(wave::Block& target, int n)
{
    float* out = target.data();
    bool first = true;
    for (int i = 0; i < inputCount; ++i) {
        WeightedInput& in = *input(i);
        if (!in.getSource())
            continue;
        const ControlInput::Signal g = in.pullGain(n);
        const float* x = in.pullAudio(n).data();
        if (first && isConstantOne(g)) {
            for (int s = 0; s < n; s += 4)
                store(out + s, abs(load(x + s)));
        } else if (first) {
            for (int s = 0; s < n; s += 4)
                store(out + s, abs(load(x + s)) * load(g.samples + s));
        } else {
            for (int s = 0; s < n; s += 4)
                store(out + s, max(abs(load(x + s)) * load(g.samples + s), load(out + s)));
        }
        first = false;
    }
    if (first)
        outputSilence();
    else
        setConstant(false);
}
