#pragma once

#include "framework/GenericPlugin.h"

#include "wave/Input.h"

// A plug-in whose every channel hands its main input on as its output. It
// goes through the same process call, sub-block splitting and graph as the
// effect, so it isolates what the renderer's own path (MIDI delivery, block
// handling) does, with no effect in the way.
class PassThroughPlugin : public GenericPlugin {
public:
    // channelCount: 1 or more; sampleRate in Hz.
    PassThroughPlugin(int channelCount, float sampleRate)
    {
        setNumChannels(channelCount);
        initialize("Ostrand");
        getGraph().setSampleRate(sampleRate);
        for (int c = 0; c < getNumChannels(); ++c) {
            auto* channel = new Channel(*this); // owned by the plug-in from here on
            channel->setOutput(&channel->getInput());
        }
        applyAllParameters();
    }
    ~PassThroughPlugin() override { terminate(); }

    std::string presetMagic() const override { return "MOpt"; }
};
