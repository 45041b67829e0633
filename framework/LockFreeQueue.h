#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <type_traits>

// A multi-producer, single-consumer queue of a fixed number of nodes that
// never locks or allocates once built, on any side.
//
// Nodes live in one array made at construction. A link is one 64-bit word:
// the low 32 bits name a node (0xFFFFFFFF is the end), the high 32 bits are
// a tag that rises on every change of the word. Compare-and-swap on such a
// word fails when a node was taken and put back in between (the tag differs
// even if the index is the same), which is what makes the free list safe to
// pop from several threads. A thread would have to sleep between its read
// and its swap while 2^32 other changes of the same word went by for the tag
// to come round again.
//
// Producers take a node from the free list, fill it and push it onto the
// pending stack. The consumer takes the whole pending stack in one swap,
// reverses it into arrival order and hands the nodes out one by one,
// returning each to the free list. So the consumer sees the items in the
// order in which the producers' pushes succeeded. When every node holds an
// item, push reports it and queues nothing; the caller decides what to do.
template <typename Payload> class LockFreeQueue {
public:
    explicit LockFreeQueue(int capacity)
        : nodeCount(capacity > 1 ? static_cast<std::uint32_t>(capacity) : 1u),
          nodes(std::make_unique<Node[]>(nodeCount))
    {
        for (std::uint32_t i = 0; i + 1 < nodeCount; ++i)
            nodes[i].next.store(i + 1, std::memory_order_relaxed);
        freeList.store(0, std::memory_order_relaxed);
        freeCount.store(static_cast<int>(nodeCount), std::memory_order_relaxed);
    }
    LockFreeQueue(const LockFreeQueue&) = delete;
    LockFreeQueue& operator=(const LockFreeQueue&) = delete;

    // Any thread; never blocks or allocates. False when no node was free.
    bool push(const Payload& item)
    {
        const std::uint32_t index = takeFreeNode();
        if (index == nil)
            return false;
        Node& node = nodes[index];
        node.payload = item;
        std::uint64_t head = pending.load(std::memory_order_relaxed);
        do {
            node.next.store(indexOf(head), std::memory_order_relaxed);
        } while (!pending.compare_exchange_weak(head, retag(head, index), std::memory_order_release,
                                                std::memory_order_relaxed));
        return true;
    }

    // Consumer thread only. Never blocks or allocates.
    bool pop(Payload& item)
    {
        if (consumerList == nil && !takePending())
            return false;
        Node& node = nodes[consumerList];
        item = node.payload;
        const std::uint32_t index = consumerList;
        consumerList = node.next.load(std::memory_order_relaxed);
        returnNode(index);
        return true;
    }

    // Consumer thread only: whether pop would return an item right now.
    bool hasPending() const
    {
        return consumerList != nil || indexOf(pending.load(std::memory_order_acquire)) != nil;
    }

    int getCapacity() const { return static_cast<int>(nodeCount); }
    // Nodes not holding an item; exact when no push or pop is under way.
    int getFreeCount() const { return freeCount.load(std::memory_order_relaxed); }

private:
    static constexpr std::uint32_t nil = 0xFFFFFFFFu;
    static constexpr std::uint64_t tagStep = std::uint64_t{1} << 32;

    struct Node {
        std::atomic<std::uint32_t> next{nil};
        Payload payload{};
    };
    static_assert(std::is_trivially_copyable_v<Payload>);

    static std::uint32_t indexOf(std::uint64_t link) { return static_cast<std::uint32_t>(link); }
    // The new word for a list whose head moves from `old` to `index`.
    static std::uint64_t retag(std::uint64_t old, std::uint32_t index)
    {
        return ((old + tagStep) & ~std::uint64_t{0xFFFFFFFFu}) | index;
    }

    std::uint32_t takeFreeNode()
    {
        std::uint64_t head = freeList.load(std::memory_order_acquire);
        for (;;) {
            const std::uint32_t index = indexOf(head);
            if (index == nil)
                return nil;
            // The node may be taken by another producer before the swap below;
            // then the tag has moved on and the swap fails, whatever this read saw.
            const std::uint32_t next = nodes[index].next.load(std::memory_order_relaxed);
            if (freeList.compare_exchange_weak(head, retag(head, next), std::memory_order_acquire,
                                               std::memory_order_acquire)) {
                freeCount.fetch_sub(1, std::memory_order_relaxed);
                return index;
            }
        }
    }

    void returnNode(std::uint32_t index)
    {
        Node& node = nodes[index];
        std::uint64_t head = freeList.load(std::memory_order_relaxed);
        do {
            node.next.store(indexOf(head), std::memory_order_relaxed);
        } while (!freeList.compare_exchange_weak(head, retag(head, index), std::memory_order_release,
                                                 std::memory_order_relaxed));
        freeCount.fetch_add(1, std::memory_order_relaxed);
    }

    // Takes every pending node and reverses the chain into arrival order.
    bool takePending()
    {
        std::uint64_t head = pending.load(std::memory_order_acquire);
        do {
            if (indexOf(head) == nil)
                return false;
        } while (!pending.compare_exchange_weak(head, retag(head, nil), std::memory_order_acquire,
                                                std::memory_order_acquire));
        std::uint32_t previous = nil;
        std::uint32_t current = indexOf(head);
        while (current != nil) {
            Node& node = nodes[current];
            const std::uint32_t next = node.next.load(std::memory_order_relaxed);
            node.next.store(previous, std::memory_order_relaxed);
            previous = current;
            current = next;
        }
        consumerList = previous;
        return true;
    }

    const std::uint32_t nodeCount;
    std::unique_ptr<Node[]> nodes;
    std::atomic<std::uint64_t> freeList{nil};
    std::atomic<std::uint64_t> pending{nil};
    std::uint32_t consumerList = nil;
    std::atomic<int> freeCount{0};
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
};
