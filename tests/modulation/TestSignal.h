#pragma once

#include "wave/Graph.h"
#include "wave/Source.h"

#include <cstdint>

// A modulation source for tests whose sample at graph position p is a fixed
// pseudo-random function of (seed, p) in [low, high], so a test can compute
// what any block must hold without running the graph.
class TestSignal : public wave::Source {
public:
    TestSignal(wave::Graph& graph, std::uint32_t signalSeed, float lowest = -1.0f, float highest = 1.0f)
        : wave::Source(graph), seed(signalSeed), low(lowest), high(highest)
    {
    }

    float valueAt(std::uint32_t position) const
    {
        std::uint64_t x = (static_cast<std::uint64_t>(seed) << 32) ^ position;
        x += 0x9E3779B97F4A7C15ull;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        x ^= x >> 31;
        const float unit = static_cast<float>(x >> 40) / 16777216.0f;
        return low + (high - low) * unit;
    }

    int process(wave::Block& block, int numSamples, int) override
    {
        ++calls;
        const std::uint32_t start = getGraph().getPosition();
        for (int k = 0; k < numSamples; ++k)
            block[k] = valueAt(start + static_cast<std::uint32_t>(k));
        return numSamples;
    }

    int calls = 0;

private:
    std::uint32_t seed;
    float low;
    float high;
};
