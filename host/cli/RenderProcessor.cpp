#include "host/cli/RenderProcessor.h"

#include "framework/GenericPlugin.h"
#include "host/cli/PassThroughPlugin.h"

#include <algorithm>

RenderProcessor::RenderProcessor(int channelCount, int sampleRate)
    : RenderProcessor(channelCount, sampleRate, MidiEventFeeder(TempoMap(120.0, sampleRate)))
{
}

RenderProcessor::RenderProcessor(int channelCount, int sampleRate, MidiEventFeeder midi)
    : RenderProcessor(std::make_unique<PassThroughPlugin>(channelCount, static_cast<float>(sampleRate)),
                      channelCount, std::move(midi))
{
}

RenderProcessor::RenderProcessor(std::unique_ptr<GenericPlugin> p, int channelCount, MidiEventFeeder midi)
    : plugin(std::move(p)), channels(std::clamp(channelCount, 1, GenericPlugin::maxOutputs)),
      feeder(std::move(midi))
{
}

RenderProcessor::~RenderProcessor() = default;

void RenderProcessor::process(const float* const* inputs, float* const* outputs, int numSamples)
{
    // Normally one call per block; a block holding more events than the
    // plug-in's queue takes runs in parts, each with its events queued.
    const float* in[GenericPlugin::maxOutputs];
    float* out[GenericPlugin::maxOutputs];
    int done = 0;
    do {
        const int length = feeder.feed(*plugin, position + done, numSamples - done);
        for (int c = 0; c < channels; ++c) {
            in[c] = inputs[c] + done;
            out[c] = outputs[c] + done;
        }
        plugin->process(in, channels, out, channels, length);
        done += length;
    } while (done < numSamples);
    position += numSamples;
}
