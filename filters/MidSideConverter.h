#pragma once

#include "framework/Property.h"
#include "wave/Consumer.h"
#include "wave/MultiProducer.h"

// Turns a left/right pair into mid/side and back; output 0 is left or mid,
// output 1 right or side.
//   off (0):     the input blocks themselves
//   encode (1):  mid = (a + b) / 2, side = (a - b) / 2
//   decode (2):  left = a + b, right = a - b
// Encode halves and decode does not, so decoding an encoded pair gives it back.
class MidSideConverter : public wave::MultiProducer {
public:
    enum Mode : int { off = 0, encode = 1, decode = 2 };

    // Control thread, while building.
    explicit MidSideConverter(wave::Graph& graph, int mode = off, wave::Producer* a = nullptr,
                              wave::Producer* b = nullptr);

    Property<int> mode;

    void setInput(int index, wave::Producer* source);
    wave::Producer* getInput(int index) const { return index == 0 ? inputA.getSource() : inputB.getSource(); }

    // Audio thread. With OutputNotNeeded nothing is pulled or computed.
    void processAll(wave::Block** blocks, int numSamples, int flags) override;

private:
    wave::Consumer inputA;
    wave::Consumer inputB;
};
