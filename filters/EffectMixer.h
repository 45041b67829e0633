#pragma once

#include "filters/ControlInput.h"
#include "filters/Mixer.h"

// The dry/wet mix at the end of the effect: input 0 is the dry signal,
// input 1 the wet one, and a control stream m from -1 (dry) to 1 (wet) sets
// the balance under one of two laws:
//   linear (1):           t = (m + 1) / 2, out = (1 - t) dry + t wet
//   both full at 0 (0):   m >= 0: out = (1 - m) dry + wet
//                         m <  0: out = dry + (1 + m) wet
// The inputs' own gains are not used. An unconnected input is silence. When
// m is constant and leaves only one side, that side's block is handed through.
class EffectMixer : public Mixer {
public:
    enum Law : int { bothFullAtCentre = 0, linear = 1 };

    // Control thread, while building. The mix reads 1 (wet only) until a
    // control producer is linked; the law starts at 0, the effect sets 1.
    EffectMixer(wave::Graph& graph, wave::Producer* dry = nullptr, wave::Producer* wet = nullptr);

    ControlInput mix;
    Property<int> law;

    void setDry(wave::Producer* dry) { setInput(0, dry); }
    void setWet(wave::Producer* wet) { setInput(1, wet); }

    // Audio thread. With OutputNotNeeded nothing is pulled or computed.
    int process(wave::Block& target, int numSamples, int flags) override;

private:
    const float* pullSide(int index, int numSamples, bool& constant);
};
