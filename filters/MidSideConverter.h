#pragma once

#include "wave/Consumer.h"
#include "wave/MultiProducer.h"

// Turns a left/right pair into mid/side or back; output 0 is left or mid,
// output 1 right or side.
//   encode:  mid = (a + b) / 2, side = (a - b) / 2
//   decode:  left = a + b, right = a - b
// Encode halves and decode does not, so decoding an encoded pair gives it back.
class MidSideConverter : public wave::MultiProducer {
public:
    enum Mode : int { encode, decode };

    // Control thread, while building.
    MidSideConverter(wave::Graph& graph, Mode mode, wave::Producer* a = nullptr, wave::Producer* b = nullptr);

    const Mode mode;

    void setInput(int index, wave::Producer* source);
    wave::Producer* getInput(int index) const { return index == 0 ? inputA.getSource() : inputB.getSource(); }

    // Audio thread. With OutputNotNeeded nothing is pulled or computed.
    void processAll(wave::Block** blocks, int numSamples, int flags) override;

private:
    wave::Consumer inputA;
    wave::Consumer inputB;
};
