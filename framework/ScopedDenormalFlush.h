#pragma once

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define OSTRAND_HAS_MXCSR 1
#else
#define OSTRAND_HAS_MXCSR 0
#endif

// Sets flush-to-zero and denormals-are-zero for the lifetime of the scope and
// restores the caller's mode afterwards. Filters decaying towards silence
// otherwise produce denormal numbers, which cost up to a hundred times more
// per operation on x86. The host's own floating-point mode is left as found.
// On processors without the x86 control register this does nothing.
class ScopedDenormalFlush {
public:
#if OSTRAND_HAS_MXCSR
    // Bit 15 flush-to-zero, bit 6 denormals-are-zero.
    static constexpr unsigned int flushBits = 0x8040u;

    // Hosts mostly run with both bits set already. Writing the register
    // costs far more than reading it (the processor lets the floating-point
    // work in flight finish first), twice per block, so it is written only
    // where that changes the mode.
    ScopedDenormalFlush() : saved(_mm_getcsr())
    {
        if ((saved & flushBits) != flushBits)
            _mm_setcsr(saved | flushBits);
    }
    ~ScopedDenormalFlush()
    {
        if ((saved & flushBits) != flushBits)
            _mm_setcsr(saved);
    }
#else
    ScopedDenormalFlush() = default;
    ~ScopedDenormalFlush() = default;
#endif
    ScopedDenormalFlush(const ScopedDenormalFlush&) = delete;
    ScopedDenormalFlush& operator=(const ScopedDenormalFlush&) = delete;

    // Whether the calling thread currently flushes denormals to zero.
    static bool isActive()
    {
#if OSTRAND_HAS_MXCSR
        return (_mm_getcsr() & flushBits) == flushBits;
#else
        return false;
#endif
    }

private:
#if OSTRAND_HAS_MXCSR
    unsigned int saved;
#endif
};
