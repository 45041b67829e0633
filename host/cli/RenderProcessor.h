#pragma once

#include "host/cli/BlockProcessor.h"
#include "host/cli/MidiEventFeeder.h"

#include <cstdint>
#include <memory>

class GenericPlugin;

// The plug-in behind the renderer: the one place that chooses which plug-in
// a render runs through, and feeds it block by block through
// GenericPlugin::process like a host would, with the transport and the MIDI
// events of each block handed over first.
class RenderProcessor : public BlockProcessor {
public:
    // Builds the plug-in for this channel count (1 or 2) and sample rate.
    // Without a feeder the transport runs at 120 BPM and no MIDI arrives.
    RenderProcessor(int channels, int sampleRate);
    RenderProcessor(int channels, int sampleRate, MidiEventFeeder feeder);
    // Runs a given plug-in (built for the channel count) instead.
    RenderProcessor(std::unique_ptr<GenericPlugin> plugin, int channels, MidiEventFeeder feeder);
    ~RenderProcessor() override;

    void process(const float* const* inputs, float* const* outputs, int numSamples) override;

    GenericPlugin& getPlugin() const { return *plugin; }
    const MidiEventFeeder& getFeeder() const { return feeder; }
    // Samples processed so far.
    std::int64_t getPosition() const { return position; }

private:
    std::unique_ptr<GenericPlugin> plugin;
    int channels;
    MidiEventFeeder feeder;
    std::int64_t position = 0;
};
