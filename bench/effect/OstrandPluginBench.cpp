// The whole effect, stereo, through GenericPlugin::process as a host calls
// it: nanoseconds per sample and channel for 1 and 4 filters, 12 and 48 dB
// slopes, without and with modulation (a step LFO and an envelope follower
// on every filter's cut-off and peak), at host blocks of 64 and 512; and the
// silent tail after a loud passage.
#include "effect/OstrandPlugin.h"
#include "framework/ParameterAssignment.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void effect(benchmark::State& state)
{
    // User settings and the controller map would go to the real home.
    ::setenv("XDG_CONFIG_HOME", "/tmp/ostrand-bench-config", 1);
    ::setenv("XDG_DATA_HOME", "/tmp/ostrand-bench-data", 1);
    const int filters = static_cast<int>(state.range(0));
    const bool steep = state.range(1) != 0;
    const bool modulated = state.range(2) != 0;
    const int block = static_cast<int>(state.range(3));

    OstrandPlugin p(2, 48000.0f);
    std::vector<std::string> settings = {"Num Active Filters=" + std::to_string(filters),
                                         "Routing=" + std::to_string(filters == 4 ? 3 : 0)};
    const char* characteristics[] = {"Gentle", "Raw", "Tube", "Clean"};
    for (int n = 1; n <= filters; ++n) {
        const std::string f = "Filter " + std::to_string(n);
        settings.push_back(f + " Slope=" + (steep ? "48" : "12"));
        settings.push_back(f + " Characteristic=" + characteristics[n - 1]);
        settings.push_back(f + " Freq=" + std::to_string(300 * n) + " Hz");
        settings.push_back(f + " Peak=0.5");
    }
    if (modulated) {
        settings.push_back("Num Active XLFOs=1");
        settings.push_back("XLFO 1 Frequency=3 Hz");
        settings.push_back("Num Active EFs=1");
    }
    for (const std::string& s : settings)
        applyParameterAssignment(p, s);
    if (modulated)
        for (int n = 0; n < filters; ++n) {
            p.addConnection(0, 4 * n, nullptr, 0.3f);
            p.addConnection(12, 4 * n + 2, nullptr, 0.2f);
        }
    p.applyQueuedChangesAtOnce();

    std::vector<float> left(static_cast<std::size_t>(block)), right(left), outL(left), outR(left);
    for (int i = 0; i < block; ++i) {
        left[static_cast<std::size_t>(i)] = 0.3f * std::sin(0.05f * static_cast<float>(i));
        right[static_cast<std::size_t>(i)] = 0.3f * std::sin(0.031f * static_cast<float>(i));
    }
    const float* in[2] = {left.data(), right.data()};
    float* out[2] = {outL.data(), outR.data()};
    for (auto _ : state) {
        p.process(in, 2, out, 2, block);
        benchmark::DoNotOptimize(outL.data());
    }
    state.SetItemsProcessed(state.iterations() * block * 2);
    state.counters["ns/sample/channel"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * block * 2,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The tail of a loud passage: four resonant 48 dB filters (auto-mute off,
// so nothing cuts them short) ring out into silence, where their states
// decay towards the denormal range. Costs should match the loud part's.
void silentTail(benchmark::State& state)
{
    ::setenv("XDG_CONFIG_HOME", "/tmp/ostrand-bench-config", 1);
    ::setenv("XDG_DATA_HOME", "/tmp/ostrand-bench-data", 1);
    OstrandPlugin p(2, 48000.0f);
    const std::vector<std::string> settings = {"Num Active Filters=4", "Routing=1", "Auto Mute Self-Osc=Off",
                                               "Filter 4 Characteristic=Clean", "Filter 4 Delay=20 ms"};
    for (const std::string& s : settings)
        applyParameterAssignment(p, s);
    for (int n = 1; n <= 4; ++n) {
        const std::string f = "Filter " + std::to_string(n);
        applyParameterAssignment(p, f + " Slope=48");
        applyParameterAssignment(p, f + " Peak=0.9");
        applyParameterAssignment(p, f + " Freq=" + std::to_string(250 * n) + " Hz");
    }
    p.applyQueuedChangesAtOnce();

    const int block = 256;
    std::vector<float> noise(block), silence(block, 0.0f), outL(block), outR(block);
    std::uint32_t x = 1;
    float* out[2] = {outL.data(), outR.data()};
    for (int b = 0; b < 48000 / block; ++b) {
        for (float& v : noise) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            v = static_cast<float>(x) / 4294967296.0f - 0.5f;
        }
        const float* loud[2] = {noise.data(), noise.data()};
        p.process(loud, 2, out, 2, block);
    }
    const float* quiet[2] = {silence.data(), silence.data()};
    for (auto _ : state) {
        p.process(quiet, 2, out, 2, block);
        benchmark::DoNotOptimize(outL.data());
    }
    state.counters["ns/sample/channel"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * block * 2,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(silentTail)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(effect)
    ->ArgNames({"filters", "48dB", "modulated", "block"})
    ->ArgsProduct({{1, 4}, {0, 1}, {0, 1}, {64, 512}})
    ->Unit(benchmark::kMicrosecond);
