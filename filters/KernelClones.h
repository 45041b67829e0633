#pragma once

// Marks a hot kernel for a second copy in the AVX2 encoding, picked once at
// load time by the processor it finds. That choice runs from the dynamic
// loader before anything else in the program; under ThreadSanitizer the
// chooser itself is instrumented and crashes because the sanitizer is not
// yet up, so those builds keep the plain copy only. So do clang's: it does
// not inline every helper into the AVX2 copy, and a helper built for any
// processor that hands back eight lanes answers the AVX2 copy in another
// register convention (the parallel filters' samples came back wrong, NaN
// at one-sample blocks).
#if defined(__SANITIZE_THREAD__) || defined(__clang__)
#define OSTRAND_KERNEL_CLONES
#else
#define OSTRAND_KERNEL_CLONES __attribute__((target_clones("avx2", "default")))
#endif

// The same for a kernel written twice by hand, once for any processor and
// once with AVX2 intrinsics (target("default") and target("avx2") versions
// of one function, chosen the same way).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define OSTRAND_KERNEL_VERSIONS 1
#else
#define OSTRAND_KERNEL_VERSIONS 0
#endif
