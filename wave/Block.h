#pragma once

#include <cstdint>

namespace wave {

// A buffer of float samples that one producer hands to its consumers. The
// data is aligned to a cache line (so every four-sample group is 16-byte
// aligned for the vector loops) and zeroed when the block is built; the block
// owns it. Blocks are allocated when nodes are built, never while processing.
class Block {
public:
    // Cache-line alignment: more than the 16 bytes the vector loops need, and
    // two blocks never share a line.
    static constexpr int alignment = 64;

    explicit Block(int numSamples);
    ~Block();
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    int size() const { return numSamples; }
    float* data() { return samples; }
    const float* data() const { return samples; }
    float& operator[](int i) { return samples[i]; }
    float operator[](int i) const { return samples[i]; }

    // Writes value into samples [from, to).
    void fill(float value, int from, int to);
    void fill(float value) { fill(value, 0, numSamples); }
    void clear() { fill(0.0f); }

private:
    int numSamples;
    float* samples;
};

} // namespace wave
