#include "persistence/PresetLoader.h"

#include "framework/AbstractPluginParameter.h"
#include "framework/GenericPlugin.h"

#include <cmath>

namespace {

// Positions are rounded to the nearest one; not a number is no value.
float loadedValue(const AbstractPluginParameter& p, float value)
{
    if (std::isnan(value))
        return p.getDefault();
    return p.isEnumerated() ? std::nearbyint(value) : value;
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
    : plugin(collection.plugin), parameters(collection.parameters), values(parameters.size())
{
    for (std::size_t i = 0; i < parameters.size(); ++i)
        values[i] = parameters[i]->getDefault();
}

int CollectionPresetLoader::valueCount() const
{
    return static_cast<int>(parameters.size());
}

void CollectionPresetLoader::resetToDefault(int i)
{
    values[static_cast<std::size_t>(i)] = parameters[static_cast<std::size_t>(i)]->getDefault();
}

void CollectionPresetLoader::setLoadedValue(int i, float value)
{
    values[static_cast<std::size_t>(i)] = loadedValue(*parameters[static_cast<std::size_t>(i)], value);
}

void CollectionPresetLoader::apply()
{
    GenericPlugin::Batch batch(plugin);
    for (std::size_t i = 0; i < parameters.size(); ++i)
        parameters[i]->setValue(values[i], 0);
}

CustomPresetLoader::CustomPresetLoader(GenericPlugin& owner)
    : plugin(owner), values(static_cast<std::size_t>(owner.getParameterCount()))
{
    for (int i = 0; i < owner.getParameterCount(); ++i)
        values[static_cast<std::size_t>(i)] = owner.getParameter(i)->getDefault();
}

void CustomPresetLoader::addEntry(AbstractPluginParameter* parameter, float* scratch)
{
    entries.push_back({parameter, scratch});
}

void CustomPresetLoader::resetToDefault(int i)
{
    if (AbstractPluginParameter* p = entries[static_cast<std::size_t>(i)].parameter)
        values[static_cast<std::size_t>(p->getIndex())] = p->getDefault();
}

void CustomPresetLoader::setLoadedValue(int i, float value)
{
    const Entry& e = entries[static_cast<std::size_t>(i)];
    if (e.parameter)
        values[static_cast<std::size_t>(e.parameter->getIndex())] = loadedValue(*e.parameter, value);
    if (e.scratch)
        *e.scratch = value;
}

void CustomPresetLoader::apply()
{
    plugin.applyValues(values);
}
