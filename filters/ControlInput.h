#pragma once

#include "framework/Property.h"
#include "wave/Block.h"
#include "wave/Consumer.h"

namespace wave {
class Graph;
}

// A control signal a node reads (cut-off, amount, a gain, a delay time): the
// block of a linked producer, or a fixed value while nothing is linked. The
// fixed value lives in a block of its own, so a node reads both cases through
// the same pointer and can treat a constant either way as a scalar.
class ControlInput : public wave::Consumer {
public:
    struct Signal {
        const float* samples;
        bool constant; // one value throughout: samples[0]
    };

    // Control thread, while building. Allocates the fallback block.
    ControlInput(wave::Graph& graph, float defaultValue);

    // The value read while no producer is linked. Audio or control thread;
    // never allocates.
    void setDefault(float value);
    float getDefault() const { return fallbackValue; }
    bool isLinked() const { return getSource() != nullptr; }

    // This frame's samples. Audio thread. Inline: a dozen of these a block
    // mostly find a control at rest.
    Signal pull(int numSamples)
    {
        if (wave::Producer* source = getSource()) {
            const wave::Block& block = source->pull(numSamples, 0);
            return {block.data(), source->isConstant()};
        }
        return {fallback.data(), true};
    }

private:
    float fallbackValue;
    wave::Block fallback;
};

// The shortcuts of the nodes that read control blocks: only a constant
// block can be 0 or 1 throughout (within the float change test).
inline bool isConstantZero(const ControlInput::Signal& g)
{
    return g.constant && g.samples[0] >= -valueChangeEpsilon && g.samples[0] <= valueChangeEpsilon;
}

inline bool isConstantOne(const ControlInput::Signal& g)
{
    return g.constant && g.samples[0] >= 1.0f - valueChangeEpsilon &&
           g.samples[0] <= 1.0f + valueChangeEpsilon;
}
