#pragma once

#include <cstddef>

namespace testsupport {

// Counts heap allocations made by the calling thread while a scope is open.
// The test executable replaces operator new and malloc with counting versions,
// so any allocation on the audio path (std::vector growth, std::function,
// exceptions, strdup) shows up, whichever way it reaches the heap.
class AllocationScope {
public:
    AllocationScope();
    ~AllocationScope();
    AllocationScope(const AllocationScope&) = delete;
    AllocationScope& operator=(const AllocationScope&) = delete;

    // Allocations made by this thread since the scope opened.
    std::size_t count() const;

private:
    std::size_t start;
    bool wasCounting;
};

// False in sanitizer builds, whose runtimes own malloc and operator new.
// Tests that assert on counts skip themselves when counting is unavailable.
bool allocationCountingAvailable();

}  // namespace testsupport
