#pragma once

#include "framework/LockFreeQueue.h"

#include <atomic>
#include <cstdint>
#include <memory>

// The road of parameter changes to the audio thread: a lock-free queue of
// (index, value) pairs, 12 bytes per node with the link, drained at the
// start of every block.
//
// Capacity rule: the pool holds at least four changes per parameter and
// never fewer than 4096, so four full preset loads or undo steps fit between
// two blocks without a new node; threads other than the audio thread top it
// up whenever a quarter or less is free. Nothing is ever dropped: when a
// change finds no node (the audio thread may not allocate, or the pool has
// reached its 65535-node limit because nobody processes), it goes to an
// overflow table with one slot per parameter that keeps the latest value.
// While a parameter has a value waiting there, its later changes go there
// too, so the audio thread, which applies the queue first and the table
// after it, always ends with the latest value.
class ParameterChangeQueue {
public:
    struct Change {
        std::int32_t index;
        float value;
    };

    static constexpr int minimumCapacity = 4096;
    static constexpr int nodesPerParameter = 4;

    ParameterChangeQueue() : queue(minimumCapacity) {}

    // Off the audio thread, once the plug-in knows its parameter count:
    // sizes the pool and the overflow table.
    void prepare(int parameterCount);

    // Any thread; allocates only off the audio thread (see RealtimeThreadScope).
    void push(int index, float value);

    // Audio thread: hands every waiting change to apply(index, value), in
    // the order they were made. At most as many changes as the pool holds
    // are taken: changes that keep arriving meanwhile wait for the next
    // block instead of holding the audio thread here. The overflow table is
    // only read once the queue is empty, so its values stay the latest.
    template <typename Apply> void drain(Apply&& apply)
    {
        Change change;
        int budget = queue.getCapacity();
        for (; budget > 0 && queue.pop(change); --budget)
            apply(change.index, change.value);
        if (budget == 0 && queue.hasPending())
            return;
        if (!overflowed.exchange(false, std::memory_order_acq_rel))
            return;
        for (int i = 0; i < overflowSize; ++i) {
            if (overflowPending[i].exchange(0, std::memory_order_acq_rel))
                apply(i, fromBits(overflowValues[i].load(std::memory_order_relaxed)));
        }
    }

    int getCapacity() const { return queue.getCapacity(); }
    int getFreeCount() const { return queue.getFreeCount(); }

private:
    static std::uint32_t toBits(float v);
    static float fromBits(std::uint32_t bits);
    bool pushOverflow(int index, float value);

    LockFreeQueue<Change> queue;
    std::unique_ptr<std::atomic<std::uint32_t>[]> overflowValues;
    std::unique_ptr<std::atomic<std::uint8_t>[]> overflowPending;
    int overflowSize = 0;
    std::atomic<bool> overflowed{false};
};
