// The bundle's module: the one symbol LV2 hosts look up.
#include "host/lv2/Lv2EffectGroup.h"
#include "host/lv2/Lv2PluginDescriptors.h"

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index)
{
    static const Lv2PluginDescriptors descriptors(effectPluginGroup());
    return descriptors.get(index);
}
