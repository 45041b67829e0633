// Cost per sample of the filter nodes as the effect runs them: the same
// filter slot of two channels in one four-lane pass against two slots with
// one channel each (two passes), and the clean unit, at each slope (the
// clean unit also with a swept cut-off).
#include "filters/FilterCharacteristics.h"
#include "filters/MultiDesignFilter.h"
#include "filters/MultiDesignFilterParallelUnit.h"
#include "wave/Graph.h"
#include "wave/Source.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

constexpr int blockLength = 1024;

// White noise, one new block per frame, from a prepared table so that
// making it costs next to nothing.
class Noise : public wave::Source {
public:
    Noise(wave::Graph& graph, unsigned seed) : wave::Source(graph), table(8 * blockLength)
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> spread(-0.5f, 0.5f);
        for (float& v : table)
            v = spread(random);
    }
    int process(wave::Block& target, int numSamples, int) override
    {
        if (at + static_cast<std::size_t>(numSamples) > table.size())
            at = 0;
        std::copy_n(table.data() + at, numSamples, target.data());
        at += static_cast<std::size_t>(numSamples);
        return numSamples;
    }

private:
    std::vector<float> table;
    std::size_t at = 0;
};

void setUp(MultiDesignFilter& f, int characteristic, int slope)
{
    f.characteristic = characteristic;
    f.slope = static_cast<GenericFilter::Slope>(slope);
    f.cutoff.setDefault(10.0f);
    f.peak.setDefault(0.6f);
}

void perSample(benchmark::State& state, int samplesPerIteration)
{
    state.counters["ns/sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * samplesPerIteration,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Two channels of noise through one filter each. On one slot they share a
// four-lane pass per frame; on two slots each takes a pass with one lane.
void twoChannels(benchmark::State& state, bool shareSlot)
{
    wave::Graph graph(48000.0f);
    Noise left(graph, 1), right(graph, 2);
    MultiDesignFilter::ParallelUnit slotA(graph, FilterCharacteristics::shared());
    MultiDesignFilter::ParallelUnit slotB(graph, FilterCharacteristics::shared());
    MultiDesignFilter a(graph, slotA, &left), b(graph, shareSlot ? slotA : slotB, &right);
    setUp(a, 0, static_cast<int>(state.range(0)));
    setUp(b, 0, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        graph.nextFrame();
        benchmark::DoNotOptimize(a.pull(blockLength).data());
        benchmark::DoNotOptimize(b.pull(blockLength).data());
        graph.advance(blockLength);
    }
    perSample(state, 2 * blockLength);
}

// range(0): slope.
void sharedSlotPair(benchmark::State& state)
{
    twoChannels(state, true);
}

void separateSlots(benchmark::State& state)
{
    twoChannels(state, false);
}

// A cut-off (log2 Hz) sweeping up and down between 100 Hz and 6.2 kHz at
// 0.003 octave per sample: a fast envelope, a new design every 32 samples.
class Sweep : public wave::Source {
public:
    explicit Sweep(wave::Graph& graph) : wave::Source(graph) {}
    int process(wave::Block& target, int numSamples, int) override
    {
        for (int i = 0; i < numSamples; ++i) {
            value += step;
            if (value > 12.6f || value < 6.6f)
                step = -step;
            target[i] = value;
        }
        setConstant(false);
        return numSamples;
    }

private:
    float value = 6.7f;
    float step = 0.003f;
};

// One channel on "Clean". range(1): 0 constant cut-off, 1 swept.
void clean(benchmark::State& state)
{
    wave::Graph graph(48000.0f);
    Noise input(graph, 1);
    Sweep sweep(graph);
    MultiDesignFilter::ParallelUnit slot(graph, FilterCharacteristics::shared());
    MultiDesignFilter f(graph, slot, &input);
    setUp(f, f.getCleanIndex(), static_cast<int>(state.range(0)));
    if (state.range(1))
        f.cutoff.setSource(&sweep);
    for (auto _ : state) {
        graph.nextFrame();
        benchmark::DoNotOptimize(f.pull(blockLength).data());
        graph.advance(blockLength);
    }
    perSample(state, blockLength);
}

// The noise alone, to subtract from the figures above.
void noiseOnly(benchmark::State& state)
{
    wave::Graph graph(48000.0f);
    Noise input(graph, 1);
    for (auto _ : state) {
        graph.nextFrame();
        benchmark::DoNotOptimize(input.pull(blockLength).data());
        graph.advance(blockLength);
    }
    perSample(state, blockLength);
}

} // namespace

BENCHMARK(sharedSlotPair)->ArgName("slope")->DenseRange(1, 3);
BENCHMARK(separateSlots)->ArgName("slope")->DenseRange(1, 3);
BENCHMARK(clean)->ArgNames({"slope", "swept"})->ArgsProduct({{1, 2, 3}, {0, 1}});
BENCHMARK(noiseOnly);
