#pragma once

#include "AllocationCounter.h"
#include "wave/Graph.h"
#include "wave/MuteController.h"
#include "wave/Source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

// Test signals for graph nodes: sources that play prepared samples or hold a
// value, and a driver that runs frames and collects a node's output.

// Plays a sample vector block by block (zeros after its end); counts its calls.
class Playback : public wave::Source {
public:
    Playback(wave::Graph& graph, std::vector<float> samples) : wave::Source(graph), data(std::move(samples))
    {
    }

    int process(wave::Block& target, int numSamples, int flags) override
    {
        ++calls;
        lastFlags = flags;
        for (int i = 0; i < numSamples; ++i) {
            const std::size_t at = position + static_cast<std::size_t>(i);
            target[i] = at < data.size() ? data[at] : 0.0f;
        }
        position += static_cast<std::size_t>(numSamples);
        setConstant(false);
        return numSamples;
    }

    std::vector<float> data;
    std::size_t position = 0;
    int calls = 0;
    int lastFlags = -1;
};

// Holds one value, marked constant (a settled parameter).
class Constant : public wave::Source {
public:
    Constant(wave::Graph& graph, float v) : wave::Source(graph), value(v) {}

    int process(wave::Block& target, int numSamples, int) override
    {
        ++calls;
        target.fill(value, 0, numSamples);
        setConstant(true);
        return numSamples;
    }

    float value;
    int calls = 0;
};

class MuteSwitch : public wave::MuteController {
public:
    virtual ~MuteSwitch() = default;
    bool isMuted() const override { return muted; }
    bool muted = false;
};

// Runs `total` samples through the graph in blocks, pulling `node` each
// frame, and appends its output to `out` (which allocates nothing when its
// capacity suffices).
inline void renderInto(std::vector<float>& out, wave::Graph& graph, wave::Producer& node, int total,
                       int blockSize = 256)
{
    for (int done = 0; done < total; done += blockSize) {
        const int n = std::min(blockSize, total - done);
        graph.nextFrame();
        const wave::Block& block = node.pull(n);
        out.insert(out.end(), block.data(), block.data() + n);
        graph.advance(n);
    }
}

inline std::vector<float> render(wave::Graph& graph, wave::Producer& node, int total, int blockSize = 256)
{
    std::vector<float> out;
    out.reserve(static_cast<std::size_t>(total));
    renderInto(out, graph, node, total, blockSize);
    return out;
}

inline std::vector<float> sine(int count, float frequency, float amplitude, float sampleRate = 44100.0f)
{
    std::vector<float> s(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        s[static_cast<std::size_t>(i)] =
            amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * static_cast<double>(frequency) *
                                                    i / static_cast<double>(sampleRate)));
    return s;
}

// Largest |x[i] - x[i - 1]| over [from, to).
inline float largestStep(const std::vector<float>& x, std::size_t from, std::size_t to)
{
    float step = 0.0f;
    for (std::size_t i = std::max<std::size_t>(from, 1); i < std::min(to, x.size()); ++i)
        step = std::max(step, std::fabs(x[i] - x[i - 1]));
    return step;
}

// Real-time code must not allocate; sanitizer builds cannot count.
inline void expectNoAllocations(const testsupport::AllocationScope& scope)
{
    if (testsupport::allocationCountingAvailable()) {
        EXPECT_EQ(scope.count(), 0u);
    }
}
