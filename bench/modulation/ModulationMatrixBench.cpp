// Cost of one modulation target per block: the base ramp alone (0 slots),
// and 1 or 4 slots adding source × level, with settled (constant) levels and
// with one level itself modulated (the per-sample level path).
#include "modulation/InternalController.h"
#include "modulation/ModulationLayout.h"
#include "modulation/ModulationMatrix.h"
#include "wave/Graph.h"
#include "wave/Source.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {
// A source that copies a precomputed wave into its block, so the matrix's
// own work dominates.
class TableSource : public wave::Source {
public:
    TableSource(wave::Graph& graph, float frequency) : wave::Source(graph), table(graph.getBlockSize())
    {
        for (std::size_t k = 0; k < table.size(); ++k)
            table[k] = std::sin(frequency * static_cast<float>(k));
    }
    int process(wave::Block& target, int numSamples, int) override
    {
        std::memcpy(target.data(), table.data(), sizeof(float) * static_cast<std::size_t>(numSamples));
        return numSamples;
    }

private:
    std::vector<float> table;
};

struct Setup {
    wave::Graph graph;
    ModulationMatrix matrix{graph};
    std::vector<std::unique_ptr<TableSource>> sources;

    Setup(int slots, bool modulatedLevel)
    {
        ModulationLayout::registerStandard(matrix);
        for (int s = 0; s < ModulationMatrix::numSources; ++s) {
            sources.push_back(std::make_unique<TableSource>(graph, 0.001f * static_cast<float>(s + 1)));
            matrix.setSourceOutput(s, sources.back().get());
        }
        // Filter 1 frequency from LFOs and envelopes of different types.
        const int from[] = {0, 6, 12, 16};
        auto& c = matrix.getInternalController();
        for (int i = 0; i < slots; ++i)
            c.connect(i, from[i], 0, false, false, 0.2f);
        if (modulatedLevel)
            c.connect(slots, 1, ModulationMatrix::firstLevelTarget, false, false, 0.5f);
        matrix.setBaseValue(0, 9.0f);
        graph.nextFrame();
        graph.advance(20000); // ramps settled
    }
};

void run(benchmark::State& state, Setup& setup)
{
    const int n = static_cast<int>(state.range(1));
    auto& controller = setup.matrix.getTargetController(0);
    for (auto _ : state) {
        setup.graph.nextFrame();
        benchmark::DoNotOptimize(controller.pull(n).data());
        setup.graph.advance(n);
    }
    state.SetItemsProcessed(state.iterations() * n);
}
} // namespace

// Args: slots on the target, block length.
static void BM_TargetWithSlots(benchmark::State& state)
{
    Setup setup(static_cast<int>(state.range(0)), false);
    run(state, setup);
}
BENCHMARK(BM_TargetWithSlots)->ArgsProduct({{0, 1, 4}, {64, 1024}});

// The first slot's level modulated by a fifth slot.
static void BM_TargetWithModulatedLevel(benchmark::State& state)
{
    Setup setup(static_cast<int>(state.range(0)), true);
    run(state, setup);
}
BENCHMARK(BM_TargetWithModulatedLevel)->ArgsProduct({{1, 4}, {64, 1024}});

// One slot change as the audio thread applies it (re-deriving validity,
// completeness and depths of all slots), with 12 other slots in use,
// some of them on other slots' levels.
static void BM_SlotChange(benchmark::State& state)
{
    Setup setup(0, false);
    auto& c = setup.matrix.getInternalController();
    for (int i = 0; i < 12; ++i)
        c.connect(i, i % 26, i % 3 == 2 ? ModulationMatrix::firstLevelTarget + i - 1 : (i * 5) % 71, false,
                  false, 0.5f);
    int target = 0;
    for (auto _ : state) {
        c.setTarget(20, target);
        target = (target + 7) % 71;
    }
}
BENCHMARK(BM_SlotChange);
