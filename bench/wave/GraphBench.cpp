// Cost of the graph's bookkeeping (frames, memoized pulls, the run list) and
// of rendering a smoothed parameter, per 1024-sample frame.
#include "wave/FloatParameterSource.h"
#include "wave/Graph.h"
#include "wave/Output.h"
#include "wave/Source.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {
// Writes a constant: the cheapest possible node, so the graph's own cost shows.
class Constant : public wave::Source {
public:
    using wave::Source::Source;
    int process(wave::Block& target, int numSamples, int flags) override
    {
        if (!(flags & OutputNotNeeded))
            target[0] = 1.0f;
        setConstant(true);
        return numSamples;
    }
};
} // namespace

// 64 producers, each read by four consumers, half of them also in the run list.
static void BM_FrameOf64Producers(benchmark::State& state)
{
    wave::Graph graph;
    std::vector<std::unique_ptr<Constant>> producers;
    std::vector<std::unique_ptr<wave::Output>> readers;
    for (int i = 0; i < 64; ++i) {
        producers.push_back(std::make_unique<Constant>(graph));
        if (i % 2)
            graph.insert(*producers.back());
        for (int k = 0; k < 4; ++k)
            readers.push_back(std::make_unique<wave::Output>(graph, producers.back().get()));
    }
    int frame = 0;
    for (auto _ : state) {
        graph.nextFrame();
        // Pull only every other frame's worth of readers, so advance has work.
        for (std::size_t i = (frame & 1); i < readers.size(); i += 2)
            benchmark::DoNotOptimize(readers[i]->pull(1024));
        graph.advance(1024);
        ++frame;
    }
}
BENCHMARK(BM_FrameOf64Producers);

static void BM_RampRender(benchmark::State& state)
{
    wave::Graph graph(48000.0f);
    FloatParameterSource source(graph, 0.0f);
    wave::Output reader(graph, &source);
    float target = 0.0f;
    for (auto _ : state) {
        if (!source.getRamp().isRunning()) {
            target = target > 0.5f ? 0.0f : 1.0f;
            source.setTarget(ParameterRamp::automaticTime, target);
        }
        graph.nextFrame();
        benchmark::DoNotOptimize(reader.pull(1024));
        graph.advance(1024);
    }
}
BENCHMARK(BM_RampRender);

static void BM_SettledRamp(benchmark::State& state)
{
    wave::Graph graph(48000.0f);
    FloatParameterSource source(graph, 0.3f);
    wave::Output reader(graph, &source);
    for (auto _ : state) {
        graph.nextFrame();
        benchmark::DoNotOptimize(reader.pull(1024));
        graph.advance(1024);
    }
}
BENCHMARK(BM_SettledRamp);
