// What one more instance costs a host: the time to build a stereo instance
// at 48 and 96 kHz (another instance exists already, as in a session, so the
// shared tables are loaded) and the heap it holds ("bytes", from the
// allocator's own count of bytes in use). Large blocks are always mapped
// fresh, as a host's new instance gets them, not recycled warm from the
// instance built in the iteration before.
#include "effect/OstrandPlugin.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <malloc.h>
#include <memory>

namespace {

std::size_t heapInUse()
{
    const struct mallinfo2 m = ::mallinfo2();
    return m.uordblks + m.hblkhd;
}

void BM_CreateStereoInstance(benchmark::State& state)
{
    ::setenv("XDG_CONFIG_HOME", "/tmp/ostrand-bench-config", 1);
    ::setenv("XDG_DATA_HOME", "/tmp/ostrand-bench-data", 1);
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    const auto rate = static_cast<float>(state.range(0));
    OstrandPlugin first(2, rate);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::size_t before = heapInUse();
        auto p = std::make_unique<OstrandPlugin>(2, rate);
        state.PauseTiming();
        bytes = heapInUse() - before;
        p.reset();
        state.ResumeTiming();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

} // namespace

BENCHMARK(BM_CreateStereoInstance)->Arg(48000)->Arg(96000)->Unit(benchmark::kMillisecond);
