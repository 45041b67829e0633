#include "effect/InputGuard.h"

#include <algorithm>
#include <cmath>

InputGuard::InputGuard(wave::Graph& graph, wave::Producer* source) : wave::Filter(graph, source) {}

void InputGuard::processBlock(const wave::Block* input, wave::Block& output, int numSamples, int flags)
{
    if (flags & (OutputNotNeeded | NoConsumer))
        return;
    if (!input) {
        setLastBlock(getGraph().getScratch());
        setConstant(true);
        return;
    }
    const float* in = input->data();
    // NaN fails both comparisons, so one test per sample finds every bad one.
    bool clean = true;
    for (int i = 0; i < numSamples; ++i)
        clean &= in[i] >= -limit && in[i] <= limit;
    if (clean) {
        setLastBlock(*input);
        setConstant(getSource() && getSource()->isConstant());
        return;
    }
    float* out = output.data();
    for (int i = 0; i < numSamples; ++i)
        out[i] = std::isfinite(in[i]) ? std::clamp(in[i], -limit, limit) : 0.0f;
    setConstant(false);
}
