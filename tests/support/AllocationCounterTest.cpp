#include "AllocationCounter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The counter is what every real-time test leans on, so it must see each
// way a program reaches the heap, and only on the thread that asks.
TEST(AllocationCounter, SeesEveryRouteToTheHeapOnItsOwnThreadOnly)
{
    if (!testsupport::allocationCountingAvailable())
        GTEST_SKIP() << "sanitizer build";
    testsupport::AllocationScope scope;
    EXPECT_EQ(scope.count(), 0u);

    auto p = std::make_unique<int>(3);
    EXPECT_EQ(scope.count(), 1u);

    std::vector<double> v;
    v.resize(100);
    EXPECT_EQ(scope.count(), 2u);

    void* volatile raw = std::malloc(16);  // volatile: the pair must not be elided
    std::free(raw);
    struct alignas(64) Lanes {
        float x[16];
    };
    auto lanes = std::make_unique<Lanes>(); // aligned operator new
    EXPECT_EQ(scope.count(), 4u);

    std::size_t before = scope.count();
    std::thread other([] { std::string s(1000, 'x'); });
    other.join();
    // Starting the thread allocates here; the string on the other thread does not count.
    EXPECT_LE(scope.count() - before, 2u);

}
