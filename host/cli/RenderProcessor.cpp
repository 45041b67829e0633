#include "host/cli/RenderProcessor.h"

#include "host/cli/PassThroughPlugin.h"

RenderProcessor::RenderProcessor(int channelCount, int sampleRate)
    : plugin(std::make_unique<PassThroughPlugin>(channelCount, static_cast<float>(sampleRate))),
      channels(channelCount)
{
}

RenderProcessor::~RenderProcessor() = default;

void RenderProcessor::process(const float* const* inputs, float* const* outputs, int numSamples)
{
    plugin->process(inputs, channels, outputs, channels, numSamples);
}
