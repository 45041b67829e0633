#pragma once

// What must hold after any bytes were offered as a preset, shared by the
// preset loader fuzzer and the replay of its corpus: every generation is
// tried as a full preset, then the bytes as a section preset of every kind;
// afterwards every parameter holds a finite value inside its range.

#include "effect/LegacyPresetLoaders.h"
#include "effect/OstrandPlugin.h"
#include "framework/PluginStorage.h"
#include "persistence/BinaryDataReader.h"
#include "persistence/PresetFile.h"

#include <cmath>
#include <string>
#include <string_view>

namespace presetchecks {

// One instance for the whole run, with no storage: nothing on disk.
inline OstrandPlugin& plugin()
{
    static PluginStorage inert;
    static OstrandPlugin* instance = [] {
        PluginStorage::install(&inert);
        return new OstrandPlugin;
    }();
    return *instance;
}

// Empty when everything holds, else what went wrong.
inline std::string offer(std::string_view bytes)
{
    OstrandPlugin& p = plugin();
    loadAnyGeneration(p, presetBytesSource(std::string(bytes)));
    for (int kind = 0; kind < p.getComponentKindCount(); ++kind) {
        BinaryMemoryReader reader(bytes);
        CollectionPresetLoader section(PresetParameters::component(p, kind, kind == 1 ? 5 : 0));
        loadPreset(reader, section, p, sectionPresetVersion);
    }
    for (int i = 0; i < p.getParameterCount(); ++i) {
        const AbstractPluginParameter& q = *p.getParameter(i);
        const float v = q.getValue();
        if (!std::isfinite(v) || v < q.getMin() || v > q.getMax())
            return q.getName() + " holds " + std::to_string(v);
    }
    return {};
}

} // namespace presetchecks
