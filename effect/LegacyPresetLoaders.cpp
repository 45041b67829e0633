#include "effect/LegacyPresetLoaders.h"

#include "effect/OstrandPlugin.h"
#include "persistence/BinaryDataReader.h"

VersionPresetLoader::VersionPresetLoader(OstrandPlugin& owner) : VersionPresetLoader(owner, version1Layout(owner))
{
}

VersionPresetLoader::VersionPresetLoader(OstrandPlugin& owner, const LegacyLayout& l)
    : plugin(owner), layout(l), values(l.fields.size())
{
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const LegacyField& f = layout.fields[i];
        AbstractPluginParameter* p = owner.getParameter(f.parameter);
        values[i] = p ? p->getDefault() : f.defaultValue;
        addEntry(p, &values[i]);
    }
}

void VersionPresetLoader::convert()
{
    convertLegacyPreset(plugin, layout, values);
}

V1PresetLoader::V1PresetLoader(OstrandPlugin& owner, std::int32_t version)
    : VersionPresetLoader(owner, firstGenerationLayout(owner, version))
{
}

bool loadAnyGeneration(OstrandPlugin& plugin, const PresetSource& source)
{
    GenericPlugin::Batch batch(plugin);
    {
        CollectionPresetLoader current(PresetParameters::all(plugin));
        if (loadPreset(*source(), current, plugin, presetFormatVersion()))
            return true;
    }
    {
        VersionPresetLoader version1(plugin);
        if (loadPreset(*source(), version1, plugin, 1)) {
            version1.convert();
            return true;
        }
    }
    for (std::int32_t version : {0, 1}) {
        V1PresetLoader first(plugin, version);
        if (loadPreset(*source(), first, plugin, version, "MOst")) {
            first.convert();
            return true;
        }
    }
    return false;
}
