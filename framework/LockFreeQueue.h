#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// A multi-producer, single-consumer queue that never locks or allocates on
// the consumer side, nor on a producer side that asks it not to.
//
// Nodes live in a pool of chunks that are allocated and never freed while
// the queue exists, so a node index stays valid for ever. A link is one
// 32-bit word: the low 16 bits name a node (0xFFFF is the end), the high 16
// bits are a tag that rises on every change of the word. Compare-and-swap on
// such a word fails when a node was taken and put back in between (the tag
// differs even if the index is the same), which is what makes the free list
// safe to pop from several threads.
//
// Producers take a node from the free list, fill it and push it onto the
// pending stack. The consumer takes the whole pending stack in one swap,
// reverses it into arrival order and hands the nodes out one by one,
// returning each to the free list. So the consumer sees the items in the
// order in which the producers' pushes succeeded.
//
// Capacity: the pool starts with the size given at construction. A producer
// allowed to grow (any thread but the audio thread) adds a chunk when no node
// is free and tops the pool up ahead of time when fewer than a quarter of
// its nodes are free, so a producer that may not grow finds a node as long
// as the items waiting between two visits of the consumer fit in the pool.
// The pool never exceeds 65535 nodes; push() reports whether the item was
// queued and leaves it to the caller to keep it when it was not.
template <typename Payload> class LockFreeQueue {
public:
    static constexpr int maxNodes = 0xFFFF;

    explicit LockFreeQueue(int initialCapacity) { reserve(initialCapacity); }
    LockFreeQueue(const LockFreeQueue&) = delete;
    LockFreeQueue& operator=(const LockFreeQueue&) = delete;

    // Any thread. With mayGrow false it neither allocates nor blocks; false
    // means the pool was empty (or at its limit) and nothing was queued.
    bool push(const Payload& item, bool mayGrow)
    {
        std::uint32_t index = takeFreeNode();
        if (index == nil && mayGrow) {
            grow(capacity.load(std::memory_order_relaxed));
            index = takeFreeNode();
        }
        if (index == nil)
            return false;
        if (mayGrow) {
            int have = capacity.load(std::memory_order_relaxed);
            if (have < maxNodes && freeCount.load(std::memory_order_relaxed) < have / 4)
                grow(have);
        }
        Node& node = nodeAt(index);
        node.payload = item;
        std::uint32_t head = pending.load(std::memory_order_relaxed);
        do {
            node.next.store(head & indexMask, std::memory_order_relaxed);
        } while (!pending.compare_exchange_weak(head, retag(head, index), std::memory_order_release,
                                                std::memory_order_relaxed));
        return true;
    }

    // Consumer thread only. Never blocks or allocates.
    bool pop(Payload& item)
    {
        if (consumerList == nil && !takePending())
            return false;
        Node& node = nodeAt(consumerList);
        item = node.payload;
        std::uint32_t index = consumerList;
        consumerList = node.next.load(std::memory_order_relaxed) & indexMask;
        returnNode(index);
        return true;
    }

    // Consumer thread only: whether pop would return an item right now.
    bool hasPending() const
    {
        return consumerList != nil || (pending.load(std::memory_order_acquire) & indexMask) != nil;
    }

    // Any thread but the audio thread: makes the pool hold at least
    // `nodes` nodes (at most 65535).
    void reserve(int nodes)
    {
        int have = capacity.load(std::memory_order_relaxed);
        if (nodes > have)
            grow(nodes - have);
    }

    int getCapacity() const { return capacity.load(std::memory_order_relaxed); }
    // Nodes not holding an item; exact when no push or pop is under way.
    int getFreeCount() const { return freeCount.load(std::memory_order_relaxed); }

private:
    static constexpr std::uint32_t nil = 0xFFFF;
    static constexpr std::uint32_t indexMask = 0xFFFF;
    static constexpr std::uint32_t tagStep = 0x10000;
    static constexpr int chunkShift = 8;
    static constexpr int chunkSize = 1 << chunkShift;
    static constexpr int maxChunks = (maxNodes + chunkSize) / chunkSize;

    struct Node {
        std::atomic<std::uint32_t> next{nil};
        Payload payload{};
    };
    static_assert(std::is_trivially_copyable_v<Payload>);

    // The new word for a list whose head moves from `old` to `index`.
    static std::uint32_t retag(std::uint32_t old, std::uint32_t index)
    {
        return ((old + tagStep) & ~indexMask) | index;
    }

    Node& nodeAt(std::uint32_t index) const
    {
        Node* chunk = chunks[index >> chunkShift].load(std::memory_order_acquire);
        return chunk[index & (chunkSize - 1)];
    }

    std::uint32_t takeFreeNode()
    {
        std::uint32_t head = freeList.load(std::memory_order_acquire);
        for (;;) {
            std::uint32_t index = head & indexMask;
            if (index == nil)
                return nil;
            // The node may be taken by another producer before the swap below;
            // then the tag has moved on and the swap fails, whatever this read saw.
            std::uint32_t next = nodeAt(index).next.load(std::memory_order_relaxed) & indexMask;
            if (freeList.compare_exchange_weak(head, retag(head, next), std::memory_order_acquire,
                                               std::memory_order_acquire)) {
                freeCount.fetch_sub(1, std::memory_order_relaxed);
                return index;
            }
        }
    }

    // Puts the chain first..last (already linked) on the free list.
    void returnChain(std::uint32_t first, std::uint32_t last, int count)
    {
        Node& tail = nodeAt(last);
        std::uint32_t head = freeList.load(std::memory_order_relaxed);
        do {
            tail.next.store(head & indexMask, std::memory_order_relaxed);
        } while (!freeList.compare_exchange_weak(head, retag(head, first), std::memory_order_release,
                                                 std::memory_order_relaxed));
        freeCount.fetch_add(count, std::memory_order_relaxed);
    }

    void returnNode(std::uint32_t index) { returnChain(index, index, 1); }

    // Takes every pending node and reverses the chain into arrival order.
    bool takePending()
    {
        std::uint32_t head = pending.load(std::memory_order_acquire);
        do {
            if ((head & indexMask) == nil)
                return false;
        } while (!pending.compare_exchange_weak(head, retag(head, nil), std::memory_order_acquire,
                                                std::memory_order_acquire));
        std::uint32_t previous = nil;
        std::uint32_t current = head & indexMask;
        while (current != nil) {
            Node& node = nodeAt(current);
            std::uint32_t next = node.next.load(std::memory_order_relaxed) & indexMask;
            node.next.store(previous, std::memory_order_relaxed);
            previous = current;
            current = next;
        }
        consumerList = previous;
        return true;
    }

    // Adds whole chunks for at least `nodes` more nodes. Serialised among the
    // threads that may grow; the consumer never waits for it.
    void grow(int nodes)
    {
        std::lock_guard<std::mutex> lock(growMutex);
        int have = capacity.load(std::memory_order_relaxed);
        int target = std::min(have + std::max(nodes, 1), maxNodes);
        while (have < target) {
            int chunkIndex = have >> chunkShift;
            auto chunk = std::make_unique<Node[]>(chunkSize);
            // The last chunk stops one short: index 0xFFFF means "no node".
            int count = std::min(chunkSize, maxNodes - have);
            auto first = static_cast<std::uint32_t>(have);
            for (int i = 0; i + 1 < count; ++i)
                chunk[static_cast<std::size_t>(i)].next.store(first + static_cast<std::uint32_t>(i) + 1,
                                                              std::memory_order_relaxed);
            chunks[chunkIndex].store(chunk.get(), std::memory_order_release);
            owned[chunkIndex] = std::move(chunk);
            have += count;
            capacity.store(have, std::memory_order_relaxed);
            returnChain(first, first + static_cast<std::uint32_t>(count) - 1, count);
        }
    }

    std::atomic<std::uint32_t> freeList{nil};
    std::atomic<std::uint32_t> pending{nil};
    std::uint32_t consumerList = nil;
    std::atomic<int> capacity{0};
    std::atomic<int> freeCount{0};
    std::atomic<Node*> chunks[maxChunks] = {};
    std::unique_ptr<Node[]> owned[maxChunks];
    std::mutex growMutex;
};
