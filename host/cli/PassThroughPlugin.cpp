#include "host/cli/PassThroughPlugin.h"

#include "wave/Input.h"

PassThroughPlugin::PassThroughPlugin(int channelCount, float sampleRate)
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

PassThroughPlugin::~PassThroughPlugin()
{
    terminate();
}
