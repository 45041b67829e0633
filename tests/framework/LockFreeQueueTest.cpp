#include "framework/LockFreeQueue.h"
#include "framework/ParameterChangeQueue.h"
#include "framework/RealtimeThread.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
struct Item {
    int producer;
    int sequence;
};
} // namespace

TEST(LockFreeQueue, KeepsOrderReusesNodesAndGrowsOnlyWhenAllowed)
{
    LockFreeQueue<Item> queue(300);
    EXPECT_EQ(queue.getCapacity(), 512); // whole chunks of 256 nodes
    Item item{};
    EXPECT_FALSE(queue.pop(item));
    // Many rounds through the same nodes: order stays first in, first out.
    for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < 500; ++i)
            ASSERT_TRUE(queue.push({0, round * 1000 + i}, false));
        for (int i = 0; i < 500; ++i) {
            ASSERT_TRUE(queue.pop(item));
            ASSERT_EQ(item.sequence, round * 1000 + i);
        }
    }
    EXPECT_EQ(queue.getCapacity(), 512);
    EXPECT_EQ(queue.getFreeCount(), 512);

    // A producer that may not grow is told when the pool is empty.
    for (int i = 0; i < 512; ++i)
        ASSERT_TRUE(queue.push({0, i}, false));
    EXPECT_FALSE(queue.push({0, 512}, false));
    EXPECT_TRUE(queue.push({0, 512}, true));
    EXPECT_GT(queue.getCapacity(), 512);
    for (int i = 0; i <= 512; ++i) {
        ASSERT_TRUE(queue.pop(item));
        ASSERT_EQ(item.sequence, i);
    }
    EXPECT_FALSE(queue.hasPending());
}

TEST(LockFreeQueue, StopsAtTheNodeLimit)
{
    LockFreeQueue<Item> queue(LockFreeQueue<Item>::maxNodes + 1000);
    EXPECT_EQ(queue.getCapacity(), 65535);
    for (int i = 0; i < 65535; ++i)
        ASSERT_TRUE(queue.push({0, i}, true));
    EXPECT_FALSE(queue.push({0, 0}, true));
    Item item{};
    int n = 0;
    while (queue.pop(item))
        ASSERT_EQ(item.sequence, n++);
    EXPECT_EQ(n, 65535);
}

TEST(ParameterChangeQueue, AnExhaustedPoolKeepsTheLatestValueOfEveryParameter)
{
    ParameterChangeQueue queue;
    queue.prepare(10);
    const int capacity = queue.getCapacity();
    std::vector<std::pair<int, float>> applied;
    auto apply = [&](int index, float value) { applied.push_back({index, value}); };
    {
        RealtimeThreadScope audio; // may not grow
        for (int i = 0; i < capacity; ++i)
            queue.push(i % 10, static_cast<float>(i));
        queue.push(3, -1.0f); // no node left: goes to the table
        queue.push(3, -2.0f);
        queue.drain(apply);
        ASSERT_EQ(applied.size(), static_cast<std::size_t>(capacity) + 1);
        EXPECT_EQ(applied.back(), (std::pair<int, float>{3, -2.0f}));

        // Table first, queue later: a waiting parameter keeps using the
        // table, so the last value set is the last one applied.
        applied.clear();
        for (int i = 0; i < capacity; ++i)
            queue.push(5, 1.0f);
        queue.push(4, 7.0f); // table
        queue.drain([](int, float) {});
        queue.push(4, 8.0f); // the table slot was emptied: back to the queue
        queue.push(6, 1.0f);
        queue.drain(apply);
        EXPECT_EQ(applied.back(), (std::pair<int, float>{6, 1.0f}));
        EXPECT_EQ(applied.front(), (std::pair<int, float>{4, 8.0f}));
    }
    EXPECT_EQ(queue.getCapacity(), capacity);
    // Off the audio thread the pool grows once a quarter or less is free.
    for (int i = 0; i < capacity * 3 / 4 + 1; ++i)
        queue.push(1, 1.0f);
    EXPECT_GT(queue.getCapacity(), capacity);
}

TEST(ParameterChangeQueue, ADrainEndsWhileChangesKeepArriving)
{
    ParameterChangeQueue queue;
    queue.prepare(4);
    RealtimeThreadScope audio;
    const int capacity = queue.getCapacity();
    // Every change applied brings a new one, as a control thread that never
    // pauses would: the drain takes at most what the pool holds.
    int pushed = 1, applied = 0;
    queue.push(0, 0.0f);
    auto chase = [&](int, float) {
        ++applied;
        if (pushed < 10 * capacity)
            queue.push(0, static_cast<float>(pushed++));
    };
    queue.drain(chase);
    EXPECT_EQ(applied, capacity);
    // The changes left over arrive with the next blocks, in order.
    float last = -1.0f;
    int rest = 0;
    queue.drain([&](int, float v) {
        EXPECT_GT(v, last);
        last = v;
        ++rest;
    });
    EXPECT_EQ(rest, 1);
    EXPECT_EQ(last, static_cast<float>(capacity));
}
