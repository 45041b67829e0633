#include "framework/LockFreeQueue.h"
#include "framework/ParameterChangeQueue.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
struct Item {
    int producer;
    int sequence;
};
} // namespace

TEST(LockFreeQueue, KeepsOrderReusesItsNodesAndRefusesWhenFull)
{
    LockFreeQueue<Item> queue(300);
    Item item{};
    EXPECT_FALSE(queue.pop(item));
    // Many rounds through the same nodes: order stays first in, first out.
    for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < 300; ++i)
            ASSERT_TRUE(queue.push({0, round * 1000 + i}));
        EXPECT_FALSE(queue.push({0, -1}));
        for (int i = 0; i < 300; ++i) {
            ASSERT_TRUE(queue.pop(item));
            ASSERT_EQ(item.sequence, round * 1000 + i);
        }
        EXPECT_FALSE(queue.hasPending());
    }
    EXPECT_EQ(queue.getCapacity(), 300);
    EXPECT_EQ(queue.getFreeCount(), 300);
}

TEST(ParameterChangeQueue, EachChangedIndexOnceInTheOrderOfFirstChanges)
{
    ParameterChangeQueue queue;
    queue.prepare(10);
    std::vector<int> applied;
    auto apply = [&](int index) { applied.push_back(index); };
    for (int round = 0; round < 3; ++round) // the ring laps many times over
        for (int i : {7, 2, 7, 9, 2, 2, 0, 12, -1})
            queue.push(i); // 12 and -1 name no parameter
    queue.drain(apply);
    EXPECT_EQ(applied, (std::vector<int>{7, 2, 9, 0}));
    for (int lap = 0; lap < 100; ++lap) {
        applied.clear();
        for (int i = 9; i >= 0; --i)
            queue.push(i);
        queue.drain(apply);
        ASSERT_EQ(applied.size(), 10u);
        ASSERT_EQ(applied.front(), 9);
    }
    EXPECT_FALSE(queue.hasPending());

    // A change made while its index is applied is not lost: it waits for
    // the next drain, and a drain takes no more than one lap of indices.
    int rounds = 0;
    queue.push(4);
    queue.drain([&](int index) {
        ++rounds;
        queue.push(index);
    });
    EXPECT_EQ(rounds, 10);
    EXPECT_TRUE(queue.hasPending());
    applied.clear();
    queue.drain(apply);
    EXPECT_EQ(applied, std::vector<int>{4});

    // Flags raised before the queue was prepared for more parameters stay.
    queue.push(3);
    queue.prepare(40);
    queue.push(30);
    applied.clear();
    queue.drain(apply);
    EXPECT_EQ(applied, (std::vector<int>{3, 30}));
}
