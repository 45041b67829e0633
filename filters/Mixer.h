#pragma once

#include "filters/WeightedSource.h"
#include "framework/Property.h"

// Combines any number of weighted inputs under one operation: a sum (the
// routing's averaging) or the largest magnitude (a level over several
// channels).
//
// Each input is an audio producer and a gain (see WeightedInput). An input
// without an audio producer is ignored; a sum leaves out inputs whose gain is
// constantly 0 without pulling them, and when only one input contributes
// with a constant gain of 1 the output is that input's own block, not a copy.
// When no input contributes, the output is silence (the graph's scratch block).
class Mixer : public WeightedSource, public PropertyOwner {
public:
    enum Operation : int { sum = 0, maximum = 1 };

    // Control thread, while building. Every input starts with gain 1.
    Mixer(wave::Graph& graph, int numInputs = 2, int operation = sum);
    ~Mixer() override;

    // Clamped to sum .. maximum. Read at every block.
    Property<int> operation;
    // Setting it creates the missing inputs (allocating: control thread only);
    // lowering it keeps the surplus inputs for later but leaves them out.
    Property<int> inputCount;

    int getInputCount() const { return inputCount; }

    // Audio thread. With OutputNotNeeded nothing is pulled or computed: the
    // node has no state, its gains glide on graph time, and inputs that must
    // keep running are in the run list.
    int process(wave::Block& target, int numSamples, int flags) override;
    // Only a sum hands an input on.
    const wave::Producer* passesOn() const override
    {
        return operation == sum ? WeightedSource::passesOn() : nullptr;
    }

    void propertyChanged(PropertyBase& property) override;

private:
    void processMaximum(wave::Block& target, int numSamples);
    void outputSilence();
};
