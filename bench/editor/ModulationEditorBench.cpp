// What the modulation area costs the editor's thread: opening the editor
// (every source panel, step slider and slot row is built once), and the
// timer's turn that reads levels, validity, sweeps and live values, with
// every source in use and all 24 slots on targets that have knobs.
#include "editor/OstrandInterface.h"
#include "editor/modulation/ModulationInterface.h"
#include "effect/OstrandPlugin.h"
#include "gui/HeadlessInterface.h"
#include "gui/x11/FreeTypeText.h"

#include <benchmark/benchmark.h>

namespace {

std::unique_ptr<gui::Text> freeType(const gui::Font&) { return std::make_unique<gui::FreeTypeText>(); }

void everySourceAndSlot(OstrandPlugin& plugin)
{
    plugin.xlfos.getNumActiveParameter().setValue(6.0f, 0);
    plugin.egs.getNumActiveParameter().setValue(6.0f, 0);
    plugin.efs.getNumActiveParameter().setValue(4.0f, 0);
    plugin.midiSources.getNumActiveParameter().setValue(10.0f, 0);
    plugin.filters.getNumActiveParameter().setValue(4.0f, 0);
    for (int i = 0; i < 24; ++i)
        plugin.addConnection(i % 26, (i * 7) % 71);
    plugin.applyQueuedChangesAtOnce();
}

void BM_OpenEditor(benchmark::State& state)
{
    OstrandPlugin plugin;
    if (state.range(0))
        everySourceAndSlot(plugin);
    for (auto _ : state) {
        gui::HeadlessInterface ui(plugin.getEditorWidth(), plugin.getEditorHeight(), 1, freeType);
        OstrandInterface editor(ui, plugin);
        benchmark::DoNotOptimize(&editor);
    }
}
BENCHMARK(BM_OpenEditor)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ModulationTick(benchmark::State& state)
{
    OstrandPlugin plugin;
    everySourceAndSlot(plugin);
    gui::HeadlessInterface ui(plugin.getEditorWidth(), plugin.getEditorHeight(), 1, freeType);
    OstrandInterface editor(ui, plugin);
    ModulationInterface& area = editor.modulation();
    for (auto _ : state)
        area.tick();
}
BENCHMARK(BM_ModulationTick)->Unit(benchmark::kMicrosecond);

} // namespace
