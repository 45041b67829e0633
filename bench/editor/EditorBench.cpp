// What the editor costs on the host's UI thread: opening it, an idle call
// with nothing to do, a refresh after every parameter changed (a preset),
// painting the whole editor, and one step of a dot drag repainted, at scale
// 1 and 2, with real text.
#include "editor/FilterController.h"
#include "editor/OstrandInterface.h"
#include "effect/OstrandPlugin.h"
#include "framework/PluginStorage.h"
#include "gui/HeadlessInterface.h"
#include "gui/RootControl.h"
#include "gui/x11/FreeTypeText.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

PluginStorage inert;

std::unique_ptr<gui::Text> freeType(const gui::Font&) { return std::make_unique<gui::FreeTypeText>(); }

struct Editor {
    OstrandPlugin plugin;
    gui::HeadlessInterface ui;
    OstrandInterface editor;

    explicit Editor(int scale) : plugin((PluginStorage::install(&inert), 2)), ui(640, 522, scale, freeType), editor(ui, plugin)
    {
        plugin.filters.getNumActiveParameter().setValue(4.0f, 0);
        for (int i = 0; i < 4; ++i) {
            plugin.filters[i].freq.setValue(0.2f + 0.2f * static_cast<float>(i), 0);
            plugin.filters[i].peak.setValue(0.3f + 0.1f * static_cast<float>(i), 0);
        }
        editor.refresh();
        ui.render();
    }
};

void OpenEditor(benchmark::State& state)
{
    PluginStorage::install(&inert);
    OstrandPlugin plugin;
    for (auto _ : state) {
        gui::HeadlessInterface ui(640, 522, static_cast<int>(state.range(0)), freeType);
        OstrandInterface editor(ui, plugin);
        benchmark::DoNotOptimize(ui.render());
    }
}
BENCHMARK(OpenEditor)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void IdleWithNothingToDo(benchmark::State& state)
{
    Editor e(1);
    for (auto _ : state) {
        e.editor.refresh();
        benchmark::DoNotOptimize(e.ui.render());
    }
}
BENCHMARK(IdleWithNothingToDo)->Unit(benchmark::kMicrosecond);

void RefreshAfterEveryParameterChanged(benchmark::State& state)
{
    Editor e(1);
    for (auto _ : state) {
        e.editor.markChanged(-1);
        e.editor.refresh();
    }
}
BENCHMARK(RefreshAfterEveryParameterChanged)->Unit(benchmark::kMicrosecond);

void PaintWholeEditor(benchmark::State& state)
{
    Editor e(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        e.ui.root().invalidate();
        benchmark::DoNotOptimize(e.ui.render());
    }
}
BENCHMARK(PaintWholeEditor)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void DragStepRepainted(benchmark::State& state)
{
    Editor e(static_cast<int>(state.range(0)));
    gui::RootControl& root = e.ui.root();
    const gui::PointF p = e.editor.display().dots()[0].position;
    const gui::Point start{static_cast<int>(std::lround(p.x)), 34 + static_cast<int>(std::lround(p.y))};
    root.mouseDownAt(gui::MouseButton::Left, start, gui::Modifier::LeftButton);
    int step = 0;
    for (auto _ : state) {
        step = (step + 1) % 40;
        root.mouseMoveAt({start.x + step, start.y - step / 2}, gui::Modifier::LeftButton);
        e.editor.refresh();
        benchmark::DoNotOptimize(e.ui.render());
    }
    root.mouseUpAt(gui::MouseButton::Left, start, 0);
}
BENCHMARK(DragStepRepainted)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace
