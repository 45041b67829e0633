#pragma once

#include "filters/ControlInput.h"
#include "filters/WeightedInput.h"
#include "wave/Block.h"

#include <memory>
#include <span>
#include <vector>

// The sum of weighted inputs shared by Mixer and Router. Inputs whose gain is
// constantly 0 are left out without pulling their audio; a single input with
// a constant gain of 1 is handed through as its own block; no contributing
// input gives the silence block.
class WeightedSum {
public:
    struct Result {
        const wave::Block* block;
        bool constant;
    };

    // Control thread: room for this many inputs, so run never allocates.
    void reserve(std::size_t count);

    // Audio thread. Uses the first `count` inputs (at most the reserved number).
    Result run(std::span<const std::unique_ptr<WeightedInput>> inputs, wave::Block& target,
               const wave::Block& silence, int numSamples);

private:
    std::vector<WeightedInput*> contributing;
    std::vector<ControlInput::Signal> gains;
};
