#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

// The road of parameter changes to the audio thread. What travels is only
// "parameter i changed": the value stays in the parameter, whose current
// value the audio thread reads when it applies the change. So whatever the
// number of writers and however their stores and pushes interleave, the
// audio ends on the value the parameter holds.
//
// Each parameter has a pending flag; the writer that raises it also puts the
// index into a ring, in the order of first changes. A parameter is in the
// ring at most once, so a ring as large as the parameter count can never
// overflow and never has to grow: push neither allocates nor locks, on any
// thread. (Should a push ever find the ring full all the same, the flag
// still holds the change and the next drain looks at every flag.)
//
// The ring is a bounded multi-producer queue whose cells carry a sequence
// number: a producer claims a position by compare-and-swap and publishes
// the cell by advancing its sequence; the consumer takes a cell only once it
// is published, and hands it back for the next lap.
class ParameterChangeQueue {
public:
    ParameterChangeQueue() = default;
    ParameterChangeQueue(const ParameterChangeQueue&) = delete;
    ParameterChangeQueue& operator=(const ParameterChangeQueue&) = delete;

    // Off the audio thread, before processing starts (the plug-in calls it
    // while it is built): room for parameters 0..parameterCount-1. Flags
    // raised before are kept.
    void prepare(int parameterCount);

    // Any thread, after the parameter stored its new value. Wait-free but
    // for the claim of a ring position; never allocates. Indices outside
    // the prepared range are ignored (nothing could apply them).
    void push(int index);

    // Audio thread: calls apply(index) for every parameter changed since
    // its last drain, in the order of first changes, after lowering its
    // flag (so a change made while apply runs is pushed again, not lost).
    // At most as many indices as there are parameters are taken: a
    // parameter changed over and over meanwhile waits for the next drain
    // instead of holding the audio thread here.
    template <typename Apply> void drain(Apply&& apply)
    {
        int budget = size;
        int index;
        while (budget > 0 && pop(index)) {
            --budget;
            // Reading the flag's last write makes the value stored before
            // it visible to apply.
            pending[static_cast<std::size_t>(index)].exchange(0, std::memory_order_acq_rel);
            apply(index);
        }
        if (!overflowed.exchange(false, std::memory_order_acq_rel))
            return;
        for (int i = 0; i < size; ++i)
            if (pending[static_cast<std::size_t>(i)].exchange(0, std::memory_order_acq_rel))
                apply(i);
    }

    // Whether a change waits (audio thread; a push under way may be missed).
    bool hasPending() const;
    int getCapacity() const { return size; }

private:
    struct Cell {
        std::atomic<std::uint32_t> sequence{0};
        std::atomic<std::int32_t> index{-1};
    };

    bool pop(int& index);

    int size = 0;
    std::uint32_t mask = 0;
    std::unique_ptr<std::atomic<std::uint8_t>[]> pending;
    std::unique_ptr<Cell[]> cells;
    alignas(64) std::atomic<std::uint32_t> tail{0};
    alignas(64) std::uint32_t head = 0;
    std::atomic<bool> overflowed{false};
};
