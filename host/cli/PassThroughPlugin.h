#pragma once

#include "framework/GenericPlugin.h"

// The plug-in the renderer runs until the effect takes its place: one
// channel per audio channel, each channel's output is its main input. It
// goes through the same process call, sub-block splitting and graph as the
// effect, so a render through it must return its input unchanged.
class PassThroughPlugin : public GenericPlugin {
public:
    // Control thread. channels: 1 or more; sampleRate in Hz.
    PassThroughPlugin(int channelCount, float sampleRate);
    ~PassThroughPlugin() override;

    std::string presetMagic() const override { return "MOpt"; }
};
