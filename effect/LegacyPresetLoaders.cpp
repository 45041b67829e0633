#include "effect/LegacyPresetLoaders.h"

#include "effect/OstrandPlugin.h"
#include "persistence/BinaryDataReader.h"

VersionPresetLoader::VersionPresetLoader(OstrandPlugin& owner) : VersionPresetLoader(owner, version1Layout(owner))
{
}

VersionPresetLoader::VersionPresetLoader(OstrandPlugin& owner, const LegacyLayout& l)
    : CustomPresetLoader(owner), plugin(owner), layout(l), kept(l.fields.size())
{
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const LegacyField& f = layout.fields[i];
        AbstractPluginParameter* p = owner.getParameter(f.parameter);
        kept[i] = p ? p->getDefault() : f.defaultValue;
        addEntry(p, &kept[i]);
    }
}

void VersionPresetLoader::convert()
{
    convertLegacyPreset(plugin, layout, kept, valuesToConvert());
}

V1PresetLoader::V1PresetLoader(OstrandPlugin& owner, std::int32_t version)
    : VersionPresetLoader(owner, firstGenerationLayout(owner, version))
{
}

bool readAnyGeneration(OstrandPlugin& plugin, const PresetSource& source, std::vector<float>& values)
{
    {
        CollectionPresetLoader current(PresetParameters::all(plugin));
        if (readPreset(*source(), current, plugin, presetFormatVersion())) {
            values = current.getValues();
            return true;
        }
    }
    auto legacy = [&](VersionPresetLoader& loader, std::int32_t version, std::string_view magic) {
        if (!readPreset(*source(), loader, plugin, version, magic))
            return false;
        loader.convert();
        values = loader.getValues();
        return true;
    };
    VersionPresetLoader version1(plugin);
    if (legacy(version1, 1, {}))
        return true;
    for (std::int32_t version : {0, 1}) {
        V1PresetLoader first(plugin, version);
        if (legacy(first, version, "MOst"))
            return true;
    }
    return false;
}

bool loadAnyGeneration(OstrandPlugin& plugin, const PresetSource& source)
{
    std::vector<float> values;
    if (!readAnyGeneration(plugin, source, values))
        return false;
    plugin.applyValues(values);
    return true;
}
