#include "filters/Mixer.h"

#include "filters/BlockLoops.h"

#include <algorithm>

using namespace blockloops;

Mixer::Mixer(wave::Graph& graph, int numInputs, int op)
    : wave::Source(graph), operation(this, std::clamp(op, 0, 4)), inputCount(this, 0)
{
    inputCount = std::max(numInputs, 0);
}

Mixer::~Mixer() = default;

void Mixer::propertyChanged(PropertyBase& property)
{
    if (&property == &operation) {
        const int clamped = std::clamp(operation.get(), 0, 4);
        if (clamped != operation.get())
            operation = clamped;
    } else if (&property == &inputCount) {
        if (inputCount < 0) {
            inputCount = 0;
            return;
        }
        while (static_cast<int>(inputs.size()) < inputCount)
            inputs.push_back(std::make_unique<WeightedInput>(getGraph(), 1.0f));
    }
}

WeightedInput* Mixer::input(int index) const
{
    if (index < 0 || index >= static_cast<int>(inputs.size()))
        return nullptr;
    return inputs[static_cast<std::size_t>(index)].get();
}

void Mixer::setInput(int index, wave::Producer* audio)
{
    if (WeightedInput* in = input(index))
        in->setSource(audio);
}

wave::Producer* Mixer::getInput(int index) const
{
    const WeightedInput* in = input(index);
    return in ? in->getSource() : nullptr;
}

void Mixer::setGainSource(int index, wave::Producer* gain)
{
    if (WeightedInput* in = input(index))
        in->setGainSource(gain);
}

void Mixer::setGain(int index, float gain, float timeMs)
{
    if (WeightedInput* in = input(index))
        in->setGain(gain, timeMs);
}

float Mixer::getGain(int index) const
{
    const WeightedInput* in = input(index);
    return in ? in->getGain() : 0.0f;
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
    if (operation == sum)
        processSum(target, numSamples);
    else
        processOther(target, numSamples, operation);
    return numSamples;
}

void Mixer::processSum(wave::Block& target, int n)
{
    // Gains first: an input whose gain is constantly 0 is not pulled at all,
    // so whatever feeds only it does not run.
    WeightedInput* contributing[64];
    ControlInput::Signal gains[64];
    int count = 0;
    const int used = std::min(inputCount.get(), 64);
    for (int i = 0; i < used; ++i) {
        WeightedInput& in = *inputs[static_cast<std::size_t>(i)];
        if (!in.getSource())
            continue;
        const ControlInput::Signal g = in.pullGain(n);
        if (isConstantZero(g))
            continue;
        contributing[count] = &in;
        gains[count++] = g;
    }
    if (count == 0) {
        outputSilence();
        return;
    }
    if (count == 1 && isConstantOne(gains[0])) {
        const wave::Block* block = contributing[0]->pullAudio(n);
        setLastBlock(*block);
        setConstant(contributing[0]->getSource()->isConstant());
        return;
    }
    float* out = target.data();
    for (int k = 0; k < count; ++k) {
        const float* in = contributing[k]->pullAudio(n)->data();
        if (k == 0) {
            if (gains[k].constant)
                scale(out, in, gains[k].samples[0], n);
            else
                multiply(out, in, gains[k].samples, n);
        } else {
            multiplyAdd(out, in, gains[k].samples, n);
        }
    }
    setConstant(false);
}

void Mixer::processOther(wave::Block& target, int n, int op)
{
    float* out = target.data();
    bool first = true;
    const int used = inputCount;
    for (int i = 0; i < used; ++i) {
        WeightedInput& in = *inputs[static_cast<std::size_t>(i)];
        if (!in.getSource())
            continue;
        const ControlInput::Signal g = in.pullGain(n);
        const float* x = in.pullAudio(n)->data();
        const float* gs = g.samples;
        const bool unity = isConstantOne(g);
        for (int s = 0; s < n; s += 4) {
            const LaneVector xv = load(x + s);
            const LaneVector gv = load(gs + s);
            LaneVector y;
            switch (op) {
            case subtract:
                y = first ? xv * gv : load(out + s) - xv * gv;
                break;
            case maximum: {
                const LaneVector m = unity ? abs(xv) : abs(xv) * gv;
                y = first ? m : max(m, load(out + s));
                break;
            }
            case product:
                y = first ? xv * gv : load(out + s) * xv * gv;
                break;
            default: {  // ratio
                if (first) {
                    y = unity ? abs(xv) : abs(xv) * gv;
                } else {
                    const LaneVector divisor = abs(xv * gv);
                    const LaneVector zero = splat<LaneVector>(0.0f);
                    const LaneVector q = min(max(load(out + s) / divisor, zero), splat<LaneVector>(1.0f));
                    y = divisor == 0.0f ? zero : q;
                }
                break;
            }
            }
            store(out + s, y);
        }
        first = false;
    }
    if (first)
        outputSilence();
    else
        setConstant(false);
}
