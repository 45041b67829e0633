// Cost of the state-variable filter per sample, for one lane and for four
// lanes in one pass, at each slope, with a constant cut-off (one segment per
// block) and a swept one (0.003 octave per sample, a fast envelope: a new
// segment every 32 samples, each with its own table lookups); and four
// swept lanes of a self-oscillating characteristic (Extreme at Peak 1),
// whose segments also look up how far to raise the loop's coefficient.
#include "filters/DesignFilter.h"
#include "filters/FilterCharacteristics.h"
#include "filters/OscillationTuning.h"
#include "filters/OversampledClip.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr int blockLength = 256;

struct Streams {
    std::vector<float> input[4], output[4], cutoff, peak;

    explicit Streams(bool swept, float peakValue = 0.6f)
    {
        std::mt19937 random(5);
        std::uniform_real_distribution<float> d(-0.5f, 0.5f);
        for (int l = 0; l < 4; ++l) {
            input[l].resize(blockLength);
            output[l].resize(blockLength);
            for (float& v : input[l])
                v = d(random);
        }
        cutoff.resize(blockLength);
        peak.assign(blockLength, peakValue);
        for (int i = 0; i < blockLength; ++i)
            cutoff[static_cast<size_t>(i)] = swept ? 7.0f + 0.003f * static_cast<float>(i) : 10.0f;
    }
};

// state.range(0): slope 1, 2 or 3; range(1): 1 swept, 0 constant.
void oneLane(benchmark::State& state)
{
    DesignFilter filter(FilterCharacteristics::shared()[0], 1024, 48000.0f);
    filter.slope = static_cast<int>(state.range(0));
    const bool swept = state.range(1) != 0;
    Streams s(swept);
    for (auto _ : state) {
        filter.process(s.input[0].data(), s.output[0].data(), s.cutoff.data(), s.peak.data(), nullptr, blockLength,
                       !swept);
        benchmark::DoNotOptimize(s.output[0].data());
    }
    state.counters["ns/sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * blockLength,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// range(2) 1: Extreme at Peak 1 instead of the first characteristic at 0.6.
void fourLanes(benchmark::State& state)
{
    const bool oscillating = state.range(2) != 0;
    DesignFilter filter(FilterCharacteristics::shared()[oscillating ? 5 : 0], 1024, 48000.0f);
    filter.slope = static_cast<int>(state.range(0));
    const bool swept = state.range(1) != 0;
    Streams s(swept, oscillating ? 1.0f : 0.6f);
    StateVariableFilter::Lanes lanes;
    for (int l = 0; l < 4; ++l) {
        lanes.input[l] = s.input[l].data();
        lanes.output[l] = s.output[l].data();
        lanes.cutoff[l] = s.cutoff.data();
        lanes.peak[l] = s.peak.data();
        lanes.cutoffConstant[l] = lanes.peakConstant[l] = !swept;
        lanes.active[l] = true;
    }
    for (auto _ : state) {
        filter.processLanes(lanes, blockLength);
        benchmark::DoNotOptimize(s.output[0].data());
    }
    // Per sample of all four lanes together: compare with four times oneLane.
    state.counters["ns/sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * blockLength,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(oneLane)->ArgsProduct({{1, 2, 3}, {0, 1}})->ArgNames({"slope", "swept"});
BENCHMARK(fourLanes)
    ->ArgsProduct({{1, 2, 3}, {0, 1}, {0}})
    ->Args({1, 1, 1})
    ->ArgNames({"slope", "swept", "oscillating"});

namespace {

// The output stage alone, four lanes of noise at a drive that keeps the
// clip curve busy (the anti-aliased curve runs at four times the rate);
// state.range(0) 1: only two lanes in use, as in the effect.
void outputStage(benchmark::State& state)
{
    StateVariableFilter::ClipTable table(0.3f);
    OversampledClip stage(blockLength);
    stage.setSampleRate(48000.0f);
    std::mt19937 random(5);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    std::vector<LaneVector> work(blockLength), input(blockLength);
    for (LaneVector& v : input)
        v = LaneVector{d(random), d(random), d(random), d(random)};
    const LaneVector drive = splat<LaneVector>(3.0f), gain = splat<LaneVector>(1.0f / 3.0f);
    std::vector<float> first(blockLength), second(blockLength);
    for (auto _ : state) {
        work = input;
        if (state.range(0) != 0) {
            stage.beginTwoLanes(work.data(), blockLength);
            stage.curveTwoLanes(0, blockLength, drive, gain, table.curve());
            stage.endTwoLanes(first.data(), second.data(), blockLength);
        } else {
            stage.run(work.data(), 0, blockLength, drive, gain, table.curve());
        }
        benchmark::DoNotOptimize(work.data());
        benchmark::DoNotOptimize(first.data());
    }
    state.counters["ns/sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * blockLength,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(outputStage)->Arg(0)->Arg(1)->ArgName("twoLanes");

namespace {

// What the first filter of a process pays once, while the shared tables are
// built: running the self-oscillating loop over the whole tuning grid.
void tuningTable(benchmark::State& state)
{
    for (auto _ : state) {
        OscillationTuning tuning;
        benchmark::DoNotOptimize(tuning.tuned(0.1f, -0.5f, 0.01f));
    }
}

}  // namespace

BENCHMARK(tuningTable)->Unit(benchmark::kMillisecond);
