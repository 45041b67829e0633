#include "framework/LockFreeQueue.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Change {
    int index;
    float value;
};

// One producer and the consumer on the same thread: the cost of a push and
// a pop without contention.
void BM_ChangeQueuePushPop(benchmark::State& state)
{
    LockFreeQueue<Change> queue(4096);
    Change c{};
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i)
            queue.push({i, 0.5f});
        while (queue.pop(c))
            benchmark::DoNotOptimize(c);
    }
    state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(BM_ChangeQueuePushPop);

// N producer threads push as fast as they can while this thread consumes;
// items per second counts what the consumer received.
void BM_ChangeQueueProducers(benchmark::State& state)
{
    const int producers = static_cast<int>(state.range(0));
    LockFreeQueue<Change> queue(4096);
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p)
        threads.emplace_back([&] {
            int i = 0;
            while (!stop.load(std::memory_order_relaxed))
                if (!queue.push({i++, 1.0f}))
                    std::this_thread::yield();
        });
    long received = 0;
    Change c{};
    for (auto _ : state) {
        for (int i = 0; i < 1024; ++i)
            if (queue.pop(c))
                ++received;
    }
    stop = true;
    for (auto& t : threads)
        t.join();
    state.SetItemsProcessed(received);
}
BENCHMARK(BM_ChangeQueueProducers)->Arg(1)->Arg(4)->UseRealTime();

} // namespace
