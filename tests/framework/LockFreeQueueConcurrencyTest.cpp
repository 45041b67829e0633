#include "framework/LockFreeQueue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {
struct Item {
    int producer;
    int sequence;
};
} // namespace

// Several producers, one consumer: nothing lost, nothing doubled, and each
// producer's items arrive in its own order.
TEST(LockFreeQueueConcurrency, ManyProducersOneConsumer)
{
    constexpr int producers = 4;
    constexpr int perProducer = 50000;
    LockFreeQueue<Item> queue(256);
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p)
        threads.emplace_back([&, p] {
            for (int i = 0; i < perProducer; ++i)
                while (!queue.push({p, i}))
                    std::this_thread::yield();
        });
    std::vector<int> next(producers, 0);
    int received = 0;
    Item item{};
    while (received < producers * perProducer) {
        if (!queue.pop(item)) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(item.sequence, next[static_cast<std::size_t>(item.producer)]);
        ++next[static_cast<std::size_t>(item.producer)];
        ++received;
    }
    for (auto& t : threads)
        t.join();
    EXPECT_FALSE(queue.pop(item));
    EXPECT_EQ(queue.getFreeCount(), queue.getCapacity());
}
