#pragma once

// Marks a hot kernel for a second copy in the AVX2 encoding, picked once at
// load time by the processor it finds. That choice runs from the dynamic
// loader before anything else in the program; under ThreadSanitizer the
// chooser itself is instrumented and crashes because the sanitizer is not
// yet up, so those builds keep the plain copy only. A helper built once for
// any processor and called from the AVX2 copy must not take or give
// eight-lane vectors by value (their register convention differs between
// the two): such helpers are always inlined (OversampledClip.cpp).
// (clang says it builds for ThreadSanitizer only through __has_feature.)
#if defined(__SANITIZE_THREAD__)
#define OSTRAND_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define OSTRAND_THREAD_SANITIZER 1
#endif
#endif
#if defined(OSTRAND_THREAD_SANITIZER)
#define OSTRAND_KERNEL_CLONES
#else
#define OSTRAND_KERNEL_CLONES __attribute__((target_clones("avx2", "default")))
#endif

// The same for a kernel written twice by hand, once for any processor and
// once with AVX2 intrinsics (target("default") and target("avx2") versions
// of one function, chosen the same way).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(OSTRAND_THREAD_SANITIZER)
#define OSTRAND_KERNEL_VERSIONS 1
#else
#define OSTRAND_KERNEL_VERSIONS 0
#endif
