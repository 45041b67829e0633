#include "host/cli/RenderProcessor.h"

#include "effect/OstrandPlugin.h"
#include "framework/GenericPlugin.h"
#include "host/cli/SampleReader.h"

#include <algorithm>

RenderProcessor::RenderProcessor(int channelCount, int sampleRate)
    : RenderProcessor(channelCount, sampleRate, MidiEventFeeder(TempoMap(120.0, sampleRate)))
{
}

RenderProcessor::RenderProcessor(int channelCount, int sampleRate, MidiEventFeeder midi)
    : RenderProcessor(createPlugin(channelCount, sampleRate), channelCount, std::move(midi))
{
}

RenderProcessor::RenderProcessor(std::unique_ptr<GenericPlugin> p, int channelCount, MidiEventFeeder midi)
    : plugin(std::move(p)), channels(std::clamp(channelCount, 1, GenericPlugin::maxOutputs)),
      feeder(std::move(midi))
{
}

RenderProcessor::~RenderProcessor() = default;

std::unique_ptr<GenericPlugin> RenderProcessor::createPlugin(int channelCount, int sampleRate)
{
    return std::make_unique<OstrandPlugin>(channelCount, static_cast<float>(sampleRate));
}

void RenderProcessor::setSideChain(std::unique_ptr<SampleReader> reader)
{
    sideChain = std::move(reader);
    sideChainError.clear();
    sideBuffers.assign(static_cast<std::size_t>(channels), {});
}

void RenderProcessor::readSideChain(int numSamples)
{
    const auto n = static_cast<std::size_t>(numSamples);
    for (auto& b : sideBuffers)
        b.assign(n, 0.0f);
    if (!sideChain || !sideChainError.empty() || inputEnded)
        return;
    const int fileChannels = std::max(sideChain->getChannels(), 1);
    sideInterleaved.resize(n * static_cast<std::size_t>(fileChannels));
    int got = 0;
    while (got < numSamples) {
        const int r = sideChain->read(sideInterleaved.data() + static_cast<std::size_t>(got * fileChannels),
                                      numSamples - got);
        if (r < 0) {
            sideChainError = sideChain->getError();
            break;
        }
        if (r == 0)
            break;
        got += r;
    }
    for (int i = 0; i < got; ++i) {
        const float* frame = sideInterleaved.data() + static_cast<std::size_t>(i * fileChannels);
        float mono = 0.0f;
        for (int k = 0; k < fileChannels; ++k)
            mono += frame[k];
        mono /= static_cast<float>(fileChannels);
        for (int c = 0; c < channels; ++c)
            sideBuffers[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] =
                fileChannels == channels ? frame[c] : mono;
    }
}

int RenderProcessor::getLatency() const
{
    return plugin->getLatency();
}

void RenderProcessor::process(const float* const* inputs, float* const* outputs, int numSamples)
{
    // Normally one call per block; a block holding more events than the
    // plug-in's queue takes runs in parts, each with its events queued.
    const float* in[2 * GenericPlugin::maxOutputs];
    float* out[GenericPlugin::maxOutputs];
    // Main inputs first, then the side chain (when there is one).
    const int inputCount = sideChain ? 2 * channels : channels;
    if (sideChain)
        readSideChain(numSamples);
    int done = 0;
    do {
        const int length = inputEnded ? numSamples - done : feeder.feed(*plugin, position + done, numSamples - done);
        for (int c = 0; c < channels; ++c) {
            in[c] = inputs[c] + done;
            out[c] = outputs[c] + done;
            if (sideChain)
                in[channels + c] = sideBuffers[static_cast<std::size_t>(c)].data() + done;
        }
        plugin->process(in, inputCount, out, channels, length);
        // A program change in the MIDI file switched the sound at its
        // sample; its preset's name follows here, where a host would
        // announce it from its own thread.
        plugin->serviceControlThread();
        done += length;
    } while (done < numSamples);
    position += numSamples;
}
