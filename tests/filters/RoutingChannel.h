#pragma once

// One channel path's routing over four "filters" that only scale the signal
// (by 2, 3, 5 and 7): each arrangement then yields a number that tells which
// filters the signal went through and how they were averaged.
#include "GraphSignals.h"

#include "filters/DelayLine.h"
#include "filters/FilterRouting.h"

#include <array>
#include <memory>

namespace routingtest {

// A "filter" that only scales.
class GainFilter : public wave::Filter {
public:
    GainFilter(wave::Graph& graph, float g) : wave::Filter(graph), gain(g) {}
    void processBlock(const wave::Block* input, wave::Block& output, int n, int) override
    {
        ++calls;
        for (int i = 0; i < n; ++i)
            output[i] = input ? (*input)[i] * gain : 0.0f;
    }
    float gain;
    int calls = 0;
};

inline constexpr std::array<float, 4> gains = {2.0f, 3.0f, 5.0f, 7.0f};

inline int bit(int filter)
{
    return 1 << (filter + 1);
}

struct Channel {
    explicit Channel(bool withDelays = false)
    {
        for (int k = 0; k < 4; ++k) {
            filters[static_cast<std::size_t>(k)] =
                std::make_unique<GainFilter>(graph, gains[static_cast<std::size_t>(k)]);
            if (withDelays)
                delays[static_cast<std::size_t>(k)] = std::make_unique<DelayLine>(graph, 50.0f);
            routing.addElement(*filters[static_cast<std::size_t>(k)],
                               delays[static_cast<std::size_t>(k)].get());
        }
    }

    void set(int index, int count, int enabledMask)
    {
        routing.routingIndex = index;
        routing.activeFilterCount = count;
        for (int k = 0; k < 4; ++k)
            routing.getElement(k).enabled = ((enabledMask >> k) & 1) != 0;
    }

    // Settings made before processing: the graph reset ends their glides,
    // as the plug-in's does.
    void setAtOnce(int index, int count, int enabledMask)
    {
        set(index, count, enabledMask);
        graph.reset();
    }

    float settledOutput(int samples = 64)
    {
        const std::vector<float> out = render(graph, routing, samples, 64);
        return out.empty() ? 0.0f : out.back();
    }

    // The filters, delay lines and inputs outlive the routing that links them.
    wave::Graph graph;
    Constant input{graph, 1.0f};
    Constant other{graph, -0.5f}; // an input to switch to
    std::array<std::unique_ptr<GainFilter>, 4> filters;
    std::array<std::unique_ptr<DelayLine>, 4> delays;
    FilterRouting routing{graph, &input};
};

} // namespace routingtest
