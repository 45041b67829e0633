#pragma once

#include "AllocationCounter.h"
#include "GraphRender.h"
#include "Signals.h"
#include "wave/Graph.h"
#include "wave/MuteController.h"
#include "wave/Source.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Holds one value, marked constant (a settled parameter); with `resting`,
// at rest on it (a value to change only with the graph's rests ended).
class Constant : public wave::Source {
public:
    Constant(wave::Graph& graph, float v) : wave::Source(graph), value(v) {}

    int process(wave::Block& target, int numSamples, int) override
    {
        ++calls;
        target.fill(value, 0, numSamples);
        setConstant(true);
        if (resting)
            restOn(target, numSamples);
        return numSamples;
    }

    float value;
    int calls = 0;
    bool resting = false;
};

class MuteSwitch : public wave::MuteController {
public:
    virtual ~MuteSwitch() = default;
    bool isMuted() const override { return muted; }
    bool muted = false;
};

// Graph tests run at the graph's default rate unless they say otherwise.
inline std::vector<float> sine(int count, double hz, double amplitude, double rate = 44100.0)
{
    return testsignals::sine(count, hz, amplitude, rate);
}

using testsignals::largestStep;
using testsignals::noise;

// Real-time code must not allocate; sanitizer builds cannot count.
inline void expectNoAllocations(const testsupport::AllocationScope& scope)
{
    if (testsupport::allocationCountingAvailable()) {
        EXPECT_EQ(scope.count(), 0u);
    }
}
