#pragma once

// The per-sample arithmetic of the modulation matrix, four samples per step
// with the compiler's vector types (SSE on x86-64, NEON on ARM64).
//
// The arrays must have room for n rounded up to a multiple of 4: the kernels
// always work on whole groups of four (wave/BlockLoops.h). wave::Block has
// that room (its storage is padded to a cache line).
// Samples past n in a partial last group are computed from whatever the
// arrays hold there and are never read as results.
struct ModulationKernels {
    // out = s * l + acc, sample by sample. out may be acc.
    static void multiplyAdd(const float* s, const float* l, const float* acc, float* out, int n);
    // out = s * l + acc with one level for the whole block. out may be acc.
    static void multiplyAddScalar(const float* s, float l, const float* acc, float* out, int n);
    // x = min(max(x, lo), hi) in place; a NaN becomes lo.
    static void clamp(float* x, float lo, float hi, int n);
    // out = acc + s[0] l[0] + s[1] l[1] + ..., one level per signal, each
    // product added in turn as multiplyAddScalar adds it (so the same sums),
    // in one pass instead of one per signal; the second form then clamps as
    // clamp does. out may be acc.
    static void sumScaled(const float* const* s, const float* l, int count, const float* acc, float* out, int n);
    static void sumScaledClamped(const float* const* s, const float* l, int count, const float* acc, float* out,
                                 float lo, float hi, int n);
    // first = a + b, second = a - b.
    static void sumDifference(const float* a, const float* b, float* first, float* second, int n);
    // The gain-pan law: first = a * (1 - max(b, 0)), second = a * (1 + min(b, 0)),
    // so a pan to one side only lowers the other channel.
    static void gainPan(const float* a, const float* b, float* first, float* second, int n);
};
