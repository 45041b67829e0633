#pragma once

#include "host/lv2/Lv2PluginAdapter.h"

// A plug-in that has no mono layout, run with one input and two outputs:
// the one input feeds both of its channels, and the one side-chain input
// both side-chain channels.
class Lv2PluginAdapterMonoToStereo : public Lv2PluginAdapter {
public:
    using Lv2PluginAdapter::Lv2PluginAdapter;

protected:
    int gatherInputs(const float** list, std::uint32_t offset) const override;
};
