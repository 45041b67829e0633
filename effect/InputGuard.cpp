#include "effect/InputGuard.h"

#include "wave/BlockLoops.h"

#include <algorithm>
#include <cmath>

InputGuard::InputGuard(wave::Graph& graph, wave::Producer& source) : wave::Filter(graph, &source) {}

void InputGuard::processBlock(const wave::Block* input, wave::Block& output, int numSamples, int flags)
{
    if (flags & (OutputNotNeeded | NoConsumer))
        return;
    const float* in = input->data();
    // NaN fails the comparison, so one test per sample finds every bad
    // one; four samples at a time, as this runs on every block.
    const LaneVector bound = splat<LaneVector>(limit);
    LaneMask inside = ~LaneMask{};
    int i = 0;
#pragma GCC unroll 2
    for (; i + 4 <= numSamples; i += 4)
        inside &= blockloops::magnitude(blockloops::load(in + i)) <= bound;
    bool clean = !anyLane(~inside);
    for (; i < numSamples; ++i)
        clean &= in[i] >= -limit && in[i] <= limit;
    if (clean) {
        setLastBlock(*input);
        setConstant(getSource()->isConstant());
        return;
    }
    float* out = output.data();
    for (int k = 0; k < numSamples; ++k)
        out[k] = std::isfinite(in[k]) ? std::clamp(in[k], -limit, limit) : 0.0f;
    setConstant(false);
}
