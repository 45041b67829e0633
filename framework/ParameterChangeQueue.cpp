#include "framework/ParameterChangeQueue.h"

#include <algorithm>
#include <bit>

void ParameterChangeQueue::prepare(int parameterCount)
{
    if (parameterCount <= size)
        return;
    const auto count = static_cast<std::size_t>(parameterCount);
    const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(count, 2));
    auto flags = std::make_unique<std::atomic<std::uint8_t>[]>(count);
    auto ring = std::make_unique<Cell[]>(capacity);
    for (std::size_t i = 0; i < capacity; ++i)
        ring[i].sequence.store(static_cast<std::uint32_t>(i), std::memory_order_relaxed);
    // Nothing else runs yet: flags already raised go into the new ring in
    // index order.
    std::uint32_t position = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const bool raised = i < static_cast<std::size_t>(size) && pending[i].load(std::memory_order_relaxed);
        flags[i].store(raised ? 1 : 0, std::memory_order_relaxed);
        if (raised) {
            ring[position].index.store(static_cast<std::int32_t>(i), std::memory_order_relaxed);
            ring[position].sequence.store(position + 1, std::memory_order_relaxed);
            ++position;
        }
    }
    pending = std::move(flags);
    cells = std::move(ring);
    mask = static_cast<std::uint32_t>(capacity - 1);
    head = 0;
    tail.store(position, std::memory_order_release);
    size = parameterCount;
}

void ParameterChangeQueue::push(int index)
{
    if (index < 0 || index >= size)
        return;
    // Only the writer that raises the flag queues the index; the others'
    // values are read by the drain that lowers it.
    if (pending[static_cast<std::size_t>(index)].exchange(1, std::memory_order_acq_rel))
        return;
    std::uint32_t position = tail.load(std::memory_order_relaxed);
    for (;;) {
        Cell& cell = cells[position & mask];
        const std::uint32_t sequence = cell.sequence.load(std::memory_order_acquire);
        const auto lap = static_cast<std::int32_t>(sequence - position);
        if (lap == 0) {
            if (tail.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                cell.index.store(index, std::memory_order_relaxed);
                cell.sequence.store(position + 1, std::memory_order_release);
                return;
            }
        } else if (lap < 0) {
            overflowed.store(true, std::memory_order_release);
            return;
        } else {
            position = tail.load(std::memory_order_relaxed);
        }
    }
}

bool ParameterChangeQueue::pop(int& index)
{
    if (!cells)
        return false;
    Cell& cell = cells[head & mask];
    if (cell.sequence.load(std::memory_order_acquire) != head + 1)
        return false;
    index = cell.index.load(std::memory_order_relaxed);
    cell.sequence.store(head + mask + 1, std::memory_order_release);
    ++head;
    return true;
}

bool ParameterChangeQueue::hasPending() const
{
    if (overflowed.load(std::memory_order_acquire))
        return true;
    return cells && cells[head & mask].sequence.load(std::memory_order_acquire) == head + 1;
}
