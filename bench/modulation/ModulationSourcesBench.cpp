// Cost per sample of one modulation source of each kind, run as the graph
// runs them: one pull per 1024-sample frame. Items are samples.

#include "modulation/EnvelopeFollower.h"
#include "modulation/EnvelopeGenerator.h"
#include "modulation/Trigger.h"
#include "modulation/XLFO.h"
#include "modulation/XLFOFreqController.h"
#include "wave/Graph.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

constexpr int frame = 1024;

void runFrames(benchmark::State& state, wave::Graph& graph, wave::Producer& node)
{
    for (auto _ : state) {
        graph.nextFrame();
        benchmark::DoNotOptimize(node.pull(frame).data());
        graph.advance(frame);
    }
    state.SetItemsProcessed(state.iterations() * frame);
}

// A noise-like audio source for the follower and the trigger.
class Noise : public wave::Source {
public:
    using wave::Source::Source;
    int process(wave::Block& target, int numSamples, int) override
    {
        for (int k = 0; k < numSamples; ++k) {
            seed = seed * 1664525u + 1013904223u;
            target[k] = static_cast<float>(static_cast<int>(seed >> 8) - (1 << 23)) * 1.1920929e-7f;
        }
        return numSamples;
    }

private:
    unsigned seed = 1;
};

// 16 steps: glides with every curve, four random steps, 4 Hz, synced.
void BM_XLFO(benchmark::State& state)
{
    wave::Graph graph(48000.0f);
    XLFO x(graph);
    XLFOFreqController c(graph, x);
    x.getFrequencyInput().connect(&c);
    c.syncMode = state.range(0) ? SyncMode::SyncEighthBar : SyncMode::Free;
    c.getFrequencyInput().getInternal().setTarget(0.0f, 4.0f);
    for (int i = 0; i < XLFO::maxSteps; ++i) {
        XLFO::Step& s = x.getStep(i);
        s.value = std::sin(static_cast<float>(i));
        s.glide = 0.5f;
        s.glideCurve = static_cast<XLFO::GlideCurve>(i % 4);
        s.random = i % 4 == 3;
    }
    double position = 0.0;
    for (auto _ : state) {
        c.setTempoAndPosition(120.0, position);
        position += frame / 24000.0;
        graph.nextFrame();
        benchmark::DoNotOptimize(x.pull(frame).data());
        graph.advance(frame);
    }
    state.SetItemsProcessed(state.iterations() * frame);
}
BENCHMARK(BM_XLFO)->Arg(0)->Arg(1)->ArgName("synced");

// Audio-triggered on noise: the trigger runs every sample and the envelope
// keeps cycling through its stages.
void BM_EnvelopeGenerator(benchmark::State& state)
{
    wave::Graph graph(48000.0f);
    Noise noise(graph);
    Trigger trigger(graph, &noise);
    trigger.threshold = 0.99f;
    EnvelopeGenerator eg(graph, &trigger);
    eg.getAttackInput().getInternal().setTarget(0.0f, 0.005f);
    eg.getDecayInput().getInternal().setTarget(0.0f, 0.05f);
    eg.getSustainInput().getInternal().setTarget(0.0f, 0.5f);
    eg.getReleaseInput().getInternal().setTarget(0.0f, 0.02f);
    runFrames(state, graph, eg);
}
BENCHMARK(BM_EnvelopeGenerator);

void BM_EnvelopeFollower(benchmark::State& state)
{
    wave::Graph graph(48000.0f);
    Noise noise(graph);
    EnvelopeFollower ef(graph, &noise);
    ef.getAttackInput().getInternal().setTarget(0.0f, 0.002f);
    ef.getReleaseInput().getInternal().setTarget(0.0f, 0.2f);
    runFrames(state, graph, ef);
}
BENCHMARK(BM_EnvelopeFollower);

} // namespace
