// The whole effect, stereo at 48 kHz, through GenericPlugin::process as a
// host calls it, with the patches of bench/patches.txt (the ones ./dev
// compare runs through the LV2 plug-in beside peer filters): nanoseconds per
// sample and channel
//   - of every patch at host blocks of 64 and 256, the heavy one also at 16,
//     it and the default one at 1024 (the fixed cost per call shows as the
//     gap between blocks; above the graph's largest block a call pays one
//     walk per such block);
//   - of the ringing patch on noise, and on silence right after a loud
//     passage (its states decay towards the denormal range there, which
//     must cost no more than noise);
// and what creating one instance takes: its time, and the heap it keeps.
// The input is noise at -12 dB, a second of it looped, so that modulation,
// envelopes and auto-mute see a signal that moves.
#include "../BenchmarkPatches.h"
#include "effect/OstrandPlugin.h"
#include "framework/ParameterAssignment.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr float rate = 48000.0f;

std::vector<float> noise(std::size_t n, std::uint32_t seed, float amplitude)
{
    std::vector<float> v(n);
    std::uint32_t x = seed;
    for (float& s : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s = amplitude * (static_cast<float>(x) / 2147483648.0f - 1.0f);
    }
    return v;
}

std::unique_ptr<OstrandPlugin> build(const benchpatches::Patch& patch, int channels = 2, float sampleRate = rate)
{
    // User settings and the controller map would go to the real home.
    ::setenv("XDG_CONFIG_HOME", "/tmp/ostrand-bench-config", 1);
    ::setenv("XDG_DATA_HOME", "/tmp/ostrand-bench-data", 1);
    ::setenv("HOME", "/tmp/ostrand-bench-home", 1);
    auto p = std::make_unique<OstrandPlugin>(channels, sampleRate);
    for (const std::string& s : patch.settings)
        if (!applyParameterAssignment(*p, s).ok())
            throw std::runtime_error(patch.id + ": cannot apply " + s);
    p->applyQueuedChangesAtOnce();
    return p;
}

// A looped second of stereo input, handed out in host blocks.
struct Player {
    std::vector<float> left = noise(48000, 11, 0.25f);
    std::vector<float> right = noise(48000, 23, 0.25f);
    std::vector<float> outL = std::vector<float>(4096);
    std::vector<float> outR = std::vector<float>(4096);
    std::size_t at = 0;

    void play(OstrandPlugin& p, int block)
    {
        if (at + static_cast<std::size_t>(block) > left.size())
            at = 0;
        const float* in[2] = {left.data() + at, right.data() + at};
        float* out[2] = {outL.data(), outR.data()};
        p.process(in, 2, out, 2, block);
        at += static_cast<std::size_t>(block);
    }
};

void perSampleAndChannel(benchmark::State& state, int block)
{
    state.counters["ns/sample/channel"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * block * 2,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void patch(benchmark::State& state, const benchpatches::Patch& p, int block)
{
    auto plugin = build(p);
    Player player;
    for (int warm = 0; warm < 48000 / block; ++warm)
        player.play(*plugin, block);
    for (auto _ : state) {
        player.play(*plugin, block);
        benchmark::DoNotOptimize(player.outL.data());
    }
    perSampleAndChannel(state, block);
}

// After a second of loud noise: the same noise on, or silence.
void tail(benchmark::State& state, const benchpatches::Patch& p, bool silent)
{
    constexpr int block = 256;
    auto plugin = build(p);
    Player loud;
    for (float& v : loud.left)
        v *= 3.0f;
    for (float& v : loud.right)
        v *= 3.0f;
    for (int b = 0; b < 48000 / block; ++b)
        loud.play(*plugin, block);
    Player quiet;
    if (silent)
        quiet.left.assign(quiet.left.size(), 0.0f), quiet.right.assign(quiet.right.size(), 0.0f);
    for (auto _ : state) {
        (silent ? quiet : loud).play(*plugin, block);
        benchmark::DoNotOptimize(loud.outL.data());
    }
    perSampleAndChannel(state, block);
}

// A new instance with its settings in force, as a host creates one (stereo
// at 48 kHz; mono, and higher rates, whose delay lines hold more samples). The heap it keeps is what is in use after, less before (the
// tables all instances share are built by the first one and do not count
// again), counting blocks the allocator maps on their own (large ones) as
// well as those in its arenas.
std::size_t heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

void instance(benchmark::State& state, const benchpatches::Patch& p, int channels, float sampleRate)
{
    double kept = 0.0;
    for (auto _ : state) {
        const std::size_t before = heapInUse();
        auto plugin = build(p, channels, sampleRate);
        kept = static_cast<double>(heapInUse()) - static_cast<double>(before);
        state.PauseTiming();
        plugin.reset();
        state.ResumeTiming();
    }
    state.counters["heap bytes"] = kept;
}

const bool registered = [] {
    static const std::vector<benchpatches::Patch> patches =
        benchpatches::read(std::string(OSTRAND_BENCH_DIR) + "/patches.txt");
    for (const benchpatches::Patch& p : patches) {
        const std::vector<int> blocks =
            p.id == "heavy"     ? std::vector<int>{16, 64, 256, 1024}
            : p.id == "default" ? std::vector<int>{64, 256, 1024}
                                : std::vector<int>{64, 256};
        for (int block : blocks)
            benchmark::RegisterBenchmark(("patch/" + p.id + "/block:" + std::to_string(block)).c_str(),
                                         [&p, block](benchmark::State& s) { patch(s, p, block); })
                ->Unit(benchmark::kMicrosecond);
    }
    const benchpatches::Patch& plain = benchpatches::find(patches, "default");
    for (const auto& [name, channels, sampleRate] :
         {std::tuple{"", 2, rate}, {"/mono", 1, rate}, {"/96k", 2, 96000.0f}, {"/192k", 2, 192000.0f}})
        benchmark::RegisterBenchmark(("instance/create" + std::string(name)).c_str(),
                                     [&plain, channels, sampleRate](benchmark::State& s) {
                                         instance(s, plain, channels, sampleRate);
                                     })
            ->Unit(benchmark::kMillisecond);
    const benchpatches::Patch& ringing = benchpatches::find(patches, "ringing");
    benchmark::RegisterBenchmark("tail/ringing/noise", [&ringing](benchmark::State& s) { tail(s, ringing, false); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("tail/ringing/silence", [&ringing](benchmark::State& s) { tail(s, ringing, true); })
        ->Unit(benchmark::kMicrosecond);
    return true;
}();

} // namespace
