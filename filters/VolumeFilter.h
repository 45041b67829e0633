#pragma once

#include "filters/ControlInput.h"
#include "wave/Filter.h"
#include "wave/MuteController.h"

// Multiplies a signal by a gain stream: the input and output gain/pan
// stages of a channel, whose gains already carry the level and the pan law.
//
// A gain of constantly 1 hands the input block through; a gain of constantly
// 0 gives the silence block. While a mute controller reports muted, the
// input is pulled as "output not needed" and the output is exact zeros.
class VolumeFilter : public wave::Filter {
public:
    // Control thread, while building. The gain reads 1 until linked.
    explicit VolumeFilter(wave::Graph& graph, wave::Producer* source = nullptr);

    ControlInput gain;

    // Not owned; null for none. Control thread, while building.
    void setMuteController(const wave::MuteController* controller)
    {
        muteController = controller;
        getGraph().endRests();
    }
    const wave::MuteController* getMuteController() const { return muteController; }

    // Audio thread.
    int process(wave::Block& target, int numSamples, int flags) override;
    void processBlock(const wave::Block* input, wave::Block& output, int numSamples, int flags) override;

private:
    void outputSilence();

    const wave::MuteController* muteController = nullptr;
};
