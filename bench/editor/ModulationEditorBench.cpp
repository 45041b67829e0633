// What the modulation area costs the editor's thread: opening the editor
// (every source panel, step slider and slot row is built once), and the
// timer's turn that reads levels, validity, sweeps and live values, with
// every source in use and all 24 slots on targets that have knobs.
#include "editor/OstrandInterface.h"
#include "editor/modulation/ModulationInterface.h"
#include "effect/OstrandPlugin.h"
#include "gui/HeadlessInterface.h"
#include "gui/x11/FreeTypeText.h"
#include "modulation/XLFOParameterSet.h"

#include <benchmark/benchmark.h>

#include <vector>

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

// One frame of the editor while an XLFO sweeps Filter 1's Freq and Peak:
// a block of audio moves the live values, the timer's turn reads them, and
// the window repaints what changed (the source's level, two knob rings, the
// display's live dot).
void BM_ModulatedFrame(benchmark::State& state)
{
    OstrandPlugin plugin;
    plugin.xlfos.getNumActiveParameter().setValue(1.0f, 0);
    XLFOParameterSet& lfo = plugin.xlfos[0];
    lfo.getSteps()[0].value.setValue(1.0f, 0);
    lfo.getSteps()[1].value.setValue(-1.0f, 0);
    lfo.getSteps()[0].glide.setValue(1.0f, 0);
    lfo.getSteps()[1].glide.setValue(1.0f, 0);
    lfo.frequency.setValue(0.6f, 0);
    plugin.addConnection(0, 0);
    plugin.addConnection(0, 2);
    plugin.applyQueuedChangesAtOnce();
    gui::HeadlessInterface ui(plugin.getEditorWidth(), plugin.getEditorHeight(), static_cast<int>(state.range(0)),
                              freeType);
    OstrandInterface editor(ui, plugin);
    ui.render();
    std::vector<float> in(1920), left(in.size()), right(in.size());
    const float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data(), right.data()};
    for (auto _ : state) {
        state.PauseTiming();
        plugin.process(inputs, 2, outputs, 2, static_cast<int>(in.size()));
        state.ResumeTiming();
        editor.modulation().tick();
        benchmark::DoNotOptimize(ui.render());
    }
}
BENCHMARK(BM_ModulatedFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace
