// What the toolkit costs: decoding PNG images (the editor decodes all of
// them when it opens), repainting a whole editor-sized window at scale 1
// and 2, and repainting one knob after a value change (a drag's frame).
#include "gui/Bitmap.h"
#include "gui/BitmapFiler.h"
#include "gui/HeadlessInterface.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/MemoryStream.h"
#include "gui/PNGWriter.h"
#include "gui/RootControl.h"
#include "gui/x11/FreeTypeText.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using namespace gui;

namespace {

// An editor-sized image with gradients and some noise, as PNG bytes.
std::vector<std::uint8_t> samplePNG(int w, int h)
{
    Bitmap b(w, h);
    std::uint32_t seed = 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            b.row(y)[x] = rgba(x * 255 / w, y * 255 / h, (x ^ y) & 255, 200 + (seed >> 28));
        }
    return encodePNG(b);
}

void DecodePNG(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const std::vector<std::uint8_t> png = samplePNG(w, h);
    Bitmap bitmap;
    for (auto _ : state) {
        MemoryStream stream(png);
        decodeBitmap(bitmap, stream);
        benchmark::DoNotOptimize(bitmap.row(0));
    }
    state.SetItemsProcessed(state.iterations() * w * h);
    state.counters["pixels/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * w * h,
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(DecodePNG)->Args({40, 40})->Args({640, 300})->Args({1280, 600})->Unit(benchmark::kMicrosecond);

// A window like the editor's: 640 x 480 with 24 knobs and their labels.
struct Editor {
    HeadlessInterface ui;
    std::unique_ptr<Bitmap> knobImage = loadBitmap("Knob.png");
    std::vector<Knob*> knobs;

    explicit Editor(int scale)
        : ui(640, 480, scale, [](const Font&) { return std::make_unique<FreeTypeText>(); })
    {
        KnobStyle style;
        style.image = knobImage.get();
        for (int i = 0; i < 24; ++i) {
            const int x = 20 + (i % 8) * 76, y = 40 + (i / 8) * 140;
            Knob& k = ui.root().add<Knob>(Rect::ofSize(x, y, 40, 40), style);
            k.value = i * 150;
            knobs.push_back(&k);
            ui.root().add<Label>(Rect::ofSize(x - 16, y + 44, 72, 16), "Knob " + std::to_string(i), Font{"", 8});
        }
        ui.render();
    }
};

void PaintWholeWindow(benchmark::State& state)
{
    Editor editor(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        editor.ui.root().invalidate();
        benchmark::DoNotOptimize(editor.ui.root().paintDirty());
    }
}
BENCHMARK(PaintWholeWindow)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void PaintOneKnob(benchmark::State& state)
{
    Editor editor(static_cast<int>(state.range(0)));
    int v = 0;
    for (auto _ : state) {
        editor.knobs[5]->value = (v += 37) % 4096;
        benchmark::DoNotOptimize(editor.ui.root().paintDirty());
    }
}
BENCHMARK(PaintOneKnob)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace
