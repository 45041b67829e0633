#include "AllocationCounter.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <thread>
#include <vector>

// The first block a host's audio thread processes in a freshly loaded module
// allocates nothing, not even the thread-local state the plug-in keeps.
TEST(RealtimeModule, FirstProcessOnANewThreadAllocatesNothing)
{
    if (!testsupport::allocationCountingAvailable())
        GTEST_SKIP() << "allocation counting unavailable in this build";
    void* module = dlopen(OSTRAND_TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto create = reinterpret_cast<void* (*)()>(dlsym(module, "ostrandModuleCreate"));
    auto process =
        reinterpret_cast<void (*)(void*, float* const*, int)>(dlsym(module, "ostrandModuleProcess"));
    auto applied = reinterpret_cast<float (*)(void*, int)>(dlsym(module, "ostrandModuleApplied"));
    auto destroy = reinterpret_cast<void (*)(void*)>(dlsym(module, "ostrandModuleDestroy"));
    ASSERT_TRUE(create && process && applied && destroy);

    void* plugin = create();
    std::vector<float> left(512), right(512);
    float* outputs[2] = {left.data(), right.data()};
    std::size_t allocations = 0;
    std::thread audio([&] {
        testsupport::AllocationScope scope;
        process(plugin, outputs, 512);
        allocations = scope.count();
    });
    audio.join();
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(applied(plugin, 1), 0.75f);
    destroy(plugin);
    dlclose(module);
}
