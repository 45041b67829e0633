#include "host/lv2/Lv2EffectGroup.h"

#include "effect/OstrandPlugin.h"
#include "host/lv2/Lv2PluginGroup.h"

const Lv2PluginGroup& effectPluginGroup()
{
    static const Lv2PluginGroup group([](int channels, float sampleRate) -> std::unique_ptr<GenericPlugin> {
        return std::make_unique<OstrandPlugin>(channels, sampleRate);
    });
    return group;
}
