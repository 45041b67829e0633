#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

#if defined(OSTRAND_SANITIZER_OWNS_MALLOC) || defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define OSTRAND_COUNT_ALLOCATIONS 0
#else
#define OSTRAND_COUNT_ALLOCATIONS 1
#endif

namespace {
thread_local bool counting = false;
thread_local std::size_t allocations = 0;

inline void noteAllocation()
{
    if (counting)
        ++allocations;
}
}  // namespace

namespace testsupport {

AllocationScope::AllocationScope() : start(allocations), wasCounting(counting) { counting = true; }
AllocationScope::~AllocationScope() { counting = wasCounting; }
std::size_t AllocationScope::count() const { return allocations - start; }

bool allocationCountingAvailable() { return OSTRAND_COUNT_ALLOCATIONS != 0; }

}  // namespace testsupport

#if OSTRAND_COUNT_ALLOCATIONS
// glibc's own entry points, so the counting versions can forward to them.
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void* __libc_memalign(std::size_t, std::size_t);
extern "C" void __libc_free(void*);

extern "C" {
void* malloc(std::size_t size)
{
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size)
{
    noteAllocation();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size)
{
    noteAllocation();
    return __libc_realloc(p, size);
}
void free(void* p) { __libc_free(p); }
void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    noteAllocation();
    return __libc_memalign(alignment, size);
}
void* memalign(std::size_t alignment, std::size_t size)
{
    noteAllocation();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size)
{
    noteAllocation();
    void* p = __libc_memalign(alignment, size);
    if (!p)
        return 12;  // ENOMEM
    *out = p;
    return 0;
}
}

// operator new and delete (every form) reach the heap through the C++
// runtime's calls of malloc, aligned_alloc and free, which land here.
#endif
