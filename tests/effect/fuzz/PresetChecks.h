#pragma once

// What must hold after any bytes were offered as a preset (to one loader, a
// fuzzer's, or to all: full presets of every generation and section presets
// of every kind): every parameter then holds a finite value inside its range.

#include "effect/LegacyPresetLoaders.h"
#include "effect/OstrandPlugin.h"
#include "framework/PluginStorage.h"
#include "persistence/BinaryDataReader.h"
#include "persistence/PresetFile.h"

#include <cmath>
#include <string>
#include <string_view>

namespace presetchecks {

// One instance for the whole run, with no storage: nothing on disk, for the
// rest of the process too (no later instance reads the settings or saves a
// preset), so tests that save presets need a program of their own.
inline OstrandPlugin& plugin()
{
    static PluginStorage inert;
    static OstrandPlugin* instance = [] {
        PluginStorage::install(&inert);
        return new OstrandPlugin;
    }();
    return *instance;
}

// The loaders a file handed to the plug-in meets, each a fuzz target of its
// own: the current generation, version 1, the first generation (magic
// "MOst", versions 0 and 1) and the section presets of every kind.
enum class Loader { current, version1, firstGeneration, section, all };

inline void load(Loader which, std::string_view bytes)
{
    OstrandPlugin& p = plugin();
    const auto reader = [&] { return BinaryMemoryReader(bytes); };
    switch (which) {
    case Loader::current: {
        CollectionPresetLoader loader(PresetParameters::all(p));
        auto r = reader();
        loadPreset(r, loader, p, presetFormatVersion());
        break;
    }
    case Loader::version1: {
        VersionPresetLoader loader(p);
        auto r = reader();
        if (readPreset(r, loader, p, 1)) {
            loader.convert();
            p.applyValues(loader.getValues());
        }
        break;
    }
    case Loader::firstGeneration:
        for (std::int32_t version : {0, 1}) {
            V1PresetLoader loader(p, version);
            auto r = reader();
            if (readPreset(r, loader, p, version, "MOst")) {
                loader.convert();
                p.applyValues(loader.getValues());
            }
        }
        break;
    case Loader::section:
        for (int kind = 0; kind < p.getComponentKindCount(); ++kind) {
            CollectionPresetLoader loader(PresetParameters::component(p, kind, kind == 1 ? 5 : 0));
            auto r = reader();
            loadPreset(r, loader, p, sectionPresetVersion);
        }
        break;
    case Loader::all:
        loadAnyGeneration(p, presetBytesSource(std::string(bytes)));
        load(Loader::section, bytes);
        break;
    }
}

// Empty when everything holds, else what went wrong.
inline std::string offer(std::string_view bytes, Loader which = Loader::all)
{
    load(which, bytes);
    const OstrandPlugin& p = plugin();
    for (int i = 0; i < p.getParameterCount(); ++i) {
        const AbstractPluginParameter& q = *p.getParameter(i);
        const float v = q.getValue();
        if (!std::isfinite(v) || v < q.getMin() || v > q.getMax())
            return q.getName() + " holds " + std::to_string(v);
    }
    return {};
}

} // namespace presetchecks
