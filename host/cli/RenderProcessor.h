#pragma once

#include "host/cli/BlockProcessor.h"

#include <memory>

class GenericPlugin;

// The plug-in behind the renderer: the one place that chooses which plug-in
// a render runs through, and feeds it block by block through
// GenericPlugin::process like a host would.
class RenderProcessor : public BlockProcessor {
public:
    // Builds the plug-in for this channel count (1 or 2) and sample rate.
    RenderProcessor(int channels, int sampleRate);
    ~RenderProcessor() override;

    void process(const float* const* inputs, float* const* outputs, int numSamples) override;

    GenericPlugin& getPlugin() const { return *plugin; }

private:
    std::unique_ptr<GenericPlugin> plugin;
    int channels;
};
