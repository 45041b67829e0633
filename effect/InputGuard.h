#pragma once

#include "wave/Filter.h"

// Keeps what a host delivers from poisoning the effect: samples that are not
// finite (NaN, infinity) become 0 and magnitudes beyond `limit` are held at
// it. A filter state once NaN stays NaN for good, so one bad block from a
// plug-in earlier in a DAW track would otherwise silence this one until the
// session is reloaded. Clean input (the normal case) is handed through
// without a copy.
class InputGuard : public wave::Filter {
public:
    // +80 dBFS: far above any real signal, far below where the filters'
    // arithmetic could overflow.
    static constexpr float limit = 10000.0f;

    // source: the host input it guards, linked for good, so every pull
    // brings its block.
    InputGuard(wave::Graph& graph, wave::Producer& source);

    // Audio thread.
    void processBlock(const wave::Block* input, wave::Block& output, int numSamples, int flags) override;
};
