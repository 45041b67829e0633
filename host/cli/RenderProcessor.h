#pragma once

#include "host/cli/BlockProcessor.h"
#include "host/cli/MidiEventFeeder.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class GenericPlugin;
class SampleReader;

// The plug-in behind the renderer: the one place that chooses which plug-in
// a render runs through, and feeds it block by block through
// GenericPlugin::process like a host would, with the transport and the MIDI
// events of each block handed over first.
class RenderProcessor : public BlockProcessor {
public:
    // The plug-in renders run through: the effect, for 1 or 2 channels.
    static std::unique_ptr<GenericPlugin> createPlugin(int channels, int sampleRate);

    // Builds the plug-in for this channel count (1 or 2) and sample rate.
    // Without a feeder the transport runs at 120 BPM and no MIDI arrives.
    RenderProcessor(int channels, int sampleRate);
    RenderProcessor(int channels, int sampleRate, MidiEventFeeder feeder);
    // Runs a given plug-in (built for the channel count) instead.
    RenderProcessor(std::unique_ptr<GenericPlugin> plugin, int channels, MidiEventFeeder feeder);
    ~RenderProcessor() override;

    void process(const float* const* inputs, float* const* outputs, int numSamples) override;
    int getLatency() const override;
    // From here on no MIDI event is played and the side chain is silence.
    void endInput() override { inputEnded = true; }

    // Reads the side-chain input from here, block by block along with the
    // main input: a mono file feeds every channel, a stereo one is mixed to
    // mono for a one-channel plug-in; after its end it is silence. Without
    // one the plug-in's main inputs stand in.
    void setSideChain(std::unique_ptr<SampleReader> reader);
    // Why reading the side chain failed (it is silence from there on);
    // empty while it did not.
    const std::string& getSideChainError() const { return sideChainError; }

    GenericPlugin& getPlugin() const { return *plugin; }
    const MidiEventFeeder& getFeeder() const { return feeder; }
    // Samples processed so far.
    std::int64_t getPosition() const { return position; }

private:
    std::unique_ptr<GenericPlugin> plugin;
    int channels;
    MidiEventFeeder feeder;
    std::int64_t position = 0;
    bool inputEnded = false;
    std::unique_ptr<SampleReader> sideChain;
    std::vector<float> sideInterleaved;
    std::vector<std::vector<float>> sideBuffers;
    std::string sideChainError;

    void readSideChain(int numSamples);
};
