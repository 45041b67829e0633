#include "filters/Mixer.h"

#include "wave/BlockLoops.h"

#include <algorithm>

using namespace blockloops;

namespace {

// The combining step of the operations other than the sum, four samples at a
// time: out = combine(out, x, g) for every input after the first.
template <class Combine> void combineInto(float* out, const float* x, const float* g, int n, Combine combine)
{
    for (int i = 0; i < n; i += 4)
        store(out + i, combine(load(out + i), load(x + i), load(g + i)));
}

} // namespace

Mixer::Mixer(wave::Graph& graph, int numInputs, int op)
    : WeightedSource(graph), operation(this, std::clamp(op, 0, 4)), inputCount(this, 0)
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
        while (storedInputs() < inputCount)
            addInput(1.0f);
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
        processOther(target, numSamples, operation);
    }
    return numSamples;
}

void Mixer::processOther(wave::Block& target, int n, int op)
{
    float* out = target.data();
    const LaneVector zero = splat<LaneVector>(0.0f);
    const LaneVector one = splat<LaneVector>(1.0f);
    bool first = true;
    for (int i = 0; i < inputCount; ++i) {
        WeightedInput& in = *input(i);
        if (!in.getSource())
            continue;
        const ControlInput::Signal g = in.pullGain(n);
        const float* x = in.pullAudio(n).data();
        const bool magnitudes = op == maximum || op == ratio;
        if (first) {
            if (magnitudes && isConstantOne(g)) {
                for (int s = 0; s < n; s += 4)
                    store(out + s, abs(load(x + s)));
            } else if (magnitudes) {
                for (int s = 0; s < n; s += 4)
                    store(out + s, abs(load(x + s)) * load(g.samples + s));
            } else {
                multiply(out, x, g.samples, n);
            }
            first = false;
            continue;
        }
        switch (op) {
        case subtract:
            combineInto(out, x, g.samples, n,
                        [](LaneVector o, LaneVector v, LaneVector w) { return o - v * w; });
            break;
        case maximum:
            combineInto(out, x, g.samples, n,
                        [](LaneVector o, LaneVector v, LaneVector w) { return max(abs(v) * w, o); });
            break;
        case product:
            combineInto(out, x, g.samples, n,
                        [](LaneVector o, LaneVector v, LaneVector w) { return o * v * w; });
            break;
        default: // ratio: where the divisor is 0 the result is 0, not a NaN or infinity
            combineInto(out, x, g.samples, n, [zero, one](LaneVector o, LaneVector v, LaneVector w) {
                const LaneVector divisor = abs(v * w);
                const LaneVector q = min(max(o / divisor, zero), one);
                return divisor == 0.0f ? zero : q;
            });
            break;
        }
    }
    if (first)
        outputSilence();
    else
        setConstant(false);
}
