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

    // The owner changed an input (its audio or its gain): the next run looks
    // at every gain again. Audio thread, or the control thread while the
    // graph is not processing.
    void forgetRoute() { route = unknown; }
    // The input the last run found the sum settled on alone (its block is
    // the output), or -1.
    int settledInput() const { return route >= 0 ? route : -1; }

private:
    // Once every gain has settled on 0 or 1 with at most one input at 1 (an
    // unused filter's bypass, the audition and mid/side switches at rest),
    // the sum is that input's block or silence until the owner changes
    // something: later runs skip the gains.
    static constexpr int unknown = -2;
    static constexpr int silent = -1;
    // Every gain settled with more than one input in the sum, or one not at
    // 1 (the parallel routings' mixers): later runs of up to mixSamples
    // samples mix the inputs and gains found then, without pulling a gain.
    static constexpr int mixing = -3;
    int route = unknown;
    std::size_t routeInputs = 0; // the number of inputs the route was found among
    std::size_t mixCount = 0;
    int mixSamples = 0;

    Result mix(std::size_t count, wave::Block& target, int n);

    std::vector<WeightedInput*> contributing;
    std::vector<ControlInput::Signal> gains;
};
