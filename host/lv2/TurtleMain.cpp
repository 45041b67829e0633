// ostrand-lv2-turtle BUNDLE_DIR: writes the bundle's Turtle files at build
// time from the effect's own group and plug-in objects: the manifest, one
// description per plug-in, and the factory presets under presets/.
#include "effect/FactoryPresets.h"
#include "effect/OstrandPlugin.h"
#include "framework/PluginStorage.h"
#include "host/lv2/Lv2EffectGroup.h"
#include "host/lv2/Lv2PluginGroup.h"
#include "host/lv2/Lv2PresetTurtle.h"
#include "host/lv2/Lv2Turtle.h"
#include "host/lv2/Lv2UiTurtle.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

bool writeFile(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (file)
        return true;
    std::fprintf(stderr, "ostrand-lv2-turtle: cannot write '%s'\n", path.c_str());
    return false;
}

std::vector<Lv2Preset> factoryPresets(OstrandPlugin& scratch)
{
    std::vector<Lv2Preset> presets;
    for (FactoryPreset& f : readFactoryPresets(scratch)) {
        if (f.values.empty())
            continue; // a preset the plug-in could not load is no preset
        const std::string path = f.path.substr(0, f.path.rfind('.'));
        presets.push_back({f.name, f.folder, path, std::move(f.values)});
    }
    return presets;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ostrand-lv2-turtle BUNDLE_DIR\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    // A build reads and writes none of the user's files.
    static PluginStorage noFiles;
    PluginStorage::install(&noFiles);
    try {
        const Lv2PluginGroup& group = effectPluginGroup();
        OstrandPlugin scratch(2, 48000.0f);
        const std::vector<Lv2Preset> presets = factoryPresets(scratch);

        std::filesystem::remove_all(dir + "presets");
        std::filesystem::create_directories(dir + "presets");
        if (!writeFile(dir + "manifest.ttl", lv2ManifestTurtle(group, "ostrand.so", "ostrand") +
                                                 lv2PresetManifestTurtle(group, presets) +
                                                 lv2UiTurtle(group, "ostrand_ui.so")))
            return 1;
        for (const Lv2PluginGroup::EffectType& type : group.getTypes()) {
            const auto plugin = group.createPlugin(type, 48000.0f);
            if (!writeFile(dir + lv2DescriptionFile(type, "ostrand"), lv2PluginTurtle(group, type, *plugin)))
                return 1;
        }
        for (const Lv2Preset& preset : presets)
            if (!writeFile(dir + lv2PresetFile(preset), lv2PresetTurtle(group, scratch, preset)))
                return 1;
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ostrand-lv2-turtle: %s\n", e.what());
        return 1;
    }
}
