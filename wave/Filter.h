#pragma once

#include "wave/Consumer.h"
#include "wave/Producer.h"

namespace wave {

// A producer with one pulled input. process() pulls the source (unless the
// call and the link both say the output is not needed) and hands its block
// to processBlock.
class Filter : public Producer, public Consumer {
public:
    explicit Filter(Graph& graph, Producer* source = nullptr, int creationFlags = 0, int linkFlags = 0);

    // Audio thread.
    int process(Block& target, int numSamples, int flags) override;

    // Computes numSamples samples from input into output. input is null when
    // the filter has no source or was allowed to skip it; then the filter
    // treats its input as silence (or only advances its state when the
    // flags say its output is not needed). Audio thread.
    virtual void processBlock(const Block* input, Block& output, int numSamples, int flags) = 0;
};

} // namespace wave
