#include "host/lv2/Lv2PluginAdapterMonoToStereo.h"

int Lv2PluginAdapterMonoToStereo::gatherInputs(const float** list, std::uint32_t offset) const
{
    const float* in = getPorts().mainInputs > 0 && audioInput(0) ? audioInput(0) + offset : nullptr;
    list[0] = in;
    list[1] = in;
    if (!getPlugin().isSideChainPresent() || getPorts().sideChains == 0)
        return 2;
    list[2] = list[3] = sideChainInput(0) + offset;
    return 4;
}
