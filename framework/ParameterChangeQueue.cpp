#include "framework/ParameterChangeQueue.h"

#include "framework/RealtimeThread.h"

#include <algorithm>
#include <cstring>

static_assert(sizeof(std::atomic<std::uint32_t>) + sizeof(ParameterChangeQueue::Change) == 12,
              "a change node is one link word and the pair");

void ParameterChangeQueue::prepare(int parameterCount)
{
    queue.reserve(std::max(minimumCapacity, nodesPerParameter * parameterCount));
    if (parameterCount <= overflowSize)
        return;
    // Only grown before processing starts (the plug-in calls this while it
    // is built), so the audio thread never sees the table change.
    auto values = std::make_unique<std::atomic<std::uint32_t>[]>(static_cast<std::size_t>(parameterCount));
    auto pendingFlags =
        std::make_unique<std::atomic<std::uint8_t>[]>(static_cast<std::size_t>(parameterCount));
    for (int i = 0; i < parameterCount; ++i) {
        values[i].store(0, std::memory_order_relaxed);
        pendingFlags[i].store(0, std::memory_order_relaxed);
    }
    for (int i = 0; i < overflowSize; ++i) {
        values[i].store(overflowValues[i].load(std::memory_order_relaxed), std::memory_order_relaxed);
        pendingFlags[i].store(overflowPending[i].load(std::memory_order_relaxed), std::memory_order_relaxed);
    }
    overflowValues = std::move(values);
    overflowPending = std::move(pendingFlags);
    overflowSize = parameterCount;
}

void ParameterChangeQueue::push(int index, float value)
{
    if (index >= 0 && index < overflowSize && overflowPending[index].load(std::memory_order_acquire)) {
        pushOverflow(index, value);
        return;
    }
    const bool mayGrow = !RealtimeThreadScope::isCurrent();
    if (queue.push({index, value}, mayGrow))
        return;
    if (pushOverflow(index, value))
        return;
    // No table slot (a parameter added after the plug-in was prepared): off
    // the audio thread the pool can still grow, below its limit.
    if (mayGrow)
        queue.push({index, value}, true);
}

bool ParameterChangeQueue::pushOverflow(int index, float value)
{
    if (index < 0 || index >= overflowSize)
        return false;
    overflowValues[index].store(toBits(value), std::memory_order_relaxed);
    overflowPending[index].store(1, std::memory_order_release);
    overflowed.store(true, std::memory_order_release);
    return true;
}

std::uint32_t ParameterChangeQueue::toBits(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

float ParameterChangeQueue::fromBits(std::uint32_t bits)
{
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}
