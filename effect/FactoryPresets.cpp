#include "effect/FactoryPresets.h"

#include "effect/LegacyPresetLoaders.h"
#include "effect/OstrandPlugin.h"
#include "persistence/DocumentBundle.h"
#include "persistence/PresetFolder.h"
#include "persistence/PresetLibrary.h"
#include "persistence/Resource.h"

#include <algorithm>

namespace {

std::vector<std::string> components(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (auto slash = path.find('/'); slash != std::string::npos; slash = path.find('/', start)) {
        parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    parts.push_back(path.substr(start));
    return parts;
}

std::string shown(const std::string& folder)
{
    return folder.starts_with("_") ? folder.substr(1) : folder;
}

// The scanned tree's order on paths: at the first differing component a
// folder goes before a file, pinned folders before the others, then names
// by presetNameLess (file names without their extension).
bool menuOrder(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] == b[i])
            continue;
        const bool aFile = i + 1 == a.size();
        const bool bFile = i + 1 == b.size();
        if (aFile != bFile)
            return bFile;
        if (!aFile && a[i].starts_with("_") != b[i].starts_with("_"))
            return a[i].starts_with("_");
        auto key = [aFile](const std::string& s) {
            return aFile ? s.substr(0, s.rfind('.')) : shown(s);
        };
        return presetNameLess(key(a[i]), key(b[i]));
    }
    return a.size() < b.size();
}

} // namespace

std::vector<FactoryPreset> readFactoryPresets(OstrandPlugin& scratch)
{
    std::vector<FactoryPreset> presets;
    const auto bundleBytes = findResource(PresetLibrary::factoryBundleResource);
    if (!bundleBytes)
        return presets;
    const std::string extension = scratch.presetExtension();
    DocumentBundle(*bundleBytes).forEachFile("FactoryPresets", [&](const std::string& path, const std::string& content) {
        if (!path.ends_with(extension))
            return;
        const auto parts = components(path);
        FactoryPreset preset;
        for (std::size_t i = 0; i + 1 < parts.size(); ++i)
            preset.folder += (i ? "/" : "") + shown(parts[i]);
        preset.name = parts.back().substr(0, parts.back().size() - extension.size());
        preset.path = path;
        preset.bytes = content;
        presets.push_back(std::move(preset));
    });
    std::sort(presets.begin(), presets.end(), [](const FactoryPreset& a, const FactoryPreset& b) {
        return menuOrder(components(a.path), components(b.path));
    });

    std::vector<float> own;
    for (int i = 0; i < scratch.getParameterCount(); ++i)
        own.push_back(scratch.getParameter(i)->getValue());
    for (FactoryPreset& preset : presets) {
        if (!loadAnyGeneration(scratch, presetBytesSource(preset.bytes)))
            continue;
        for (int i = 0; i < scratch.getParameterCount(); ++i)
            preset.values.push_back(scratch.getParameter(i)->getValue());
    }
    GenericPlugin::Batch batch(scratch);
    for (int i = 0; i < scratch.getParameterCount(); ++i)
        scratch.getParameter(i)->setValue(own[static_cast<std::size_t>(i)], 0);
    return presets;
}
