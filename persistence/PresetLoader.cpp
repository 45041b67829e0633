#include "persistence/PresetLoader.h"

#include "framework/AbstractPluginParameter.h"
#include "framework/GenericPlugin.h"

#include <cmath>

namespace {

// Positions are rounded to the nearest one; not a number is no value.
void applyLoaded(AbstractPluginParameter& p, float value)
{
    if (std::isnan(value))
        value = p.getDefault();
    else if (p.isEnumerated())
        value = std::nearbyint(value);
    p.setValue(value, 0);
}

} // namespace

PresetParameters PresetParameters::all(GenericPlugin& plugin)
{
    PresetParameters collection{plugin, {}};
    collection.parameters.reserve(static_cast<std::size_t>(plugin.getParameterCount()));
    for (int i = 0; i < plugin.getParameterCount(); ++i)
        collection.parameters.push_back(plugin.getParameter(i));
    return collection;
}

PresetParameters PresetParameters::component(GenericPlugin& plugin, int kind, int instance)
{
    return {plugin, plugin.getComponentParameters(kind, instance)};
}

CollectionPresetLoader::CollectionPresetLoader(const PresetParameters& collection)
    : parameters(collection.parameters)
{
}

int CollectionPresetLoader::valueCount() const
{
    return static_cast<int>(parameters.size());
}

void CollectionPresetLoader::resetToDefault(int i)
{
    parameters[static_cast<std::size_t>(i)]->resetToDefault();
}

void CollectionPresetLoader::setLoadedValue(int i, float value)
{
    applyLoaded(*parameters[static_cast<std::size_t>(i)], value);
}

void CustomPresetLoader::addEntry(AbstractPluginParameter* parameter, float* scratch)
{
    entries.push_back({parameter, scratch});
}

void CustomPresetLoader::resetToDefault(int i)
{
    if (AbstractPluginParameter* p = entries[static_cast<std::size_t>(i)].parameter)
        p->resetToDefault();
}

void CustomPresetLoader::setLoadedValue(int i, float value)
{
    const Entry& e = entries[static_cast<std::size_t>(i)];
    if (e.parameter)
        applyLoaded(*e.parameter, value);
    if (e.scratch)
        *e.scratch = value;
}
