#pragma once

#include "filters/ControlInput.h"
#include "filters/Mixer.h"

// The dry/wet mix at the end of the effect: input 0 is the dry signal,
// input 1 the wet one, and a control stream m from -1 (dry) to 1 (wet) sets
// the balance linearly: t = (m + 1) / 2, out = (1 - t) dry + t wet.
// The inputs' own gains are not used. An unconnected input is silence. When
// m is constant and leaves only one side, that side's block is handed through;
// while a linked m rests at wet only, the wet side is handed on (see
// Producer::handOn) and the dry side is not pulled.
class EffectMixer : public Mixer {
public:
    // Control thread, while building. The mix reads 1 (wet only) until a
    // control producer is linked.
    EffectMixer(wave::Graph& graph, wave::Producer* dry = nullptr, wave::Producer* wet = nullptr);

    ControlInput mix;

    void setDry(wave::Producer* dry) { setInput(0, dry); }
    void setWet(wave::Producer* wet) { setInput(1, wet); }

    // Audio thread. With OutputNotNeeded nothing is pulled or computed.
    int process(wave::Block& target, int numSamples, int flags) override;

private:
    const float* pullSide(int index, int numSamples, bool& constant);
};
