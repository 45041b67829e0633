#pragma once

#include "wave/Graph.h"
#include "wave/Source.h"

#include <vector>

// A source that writes its call number into its block and records how it was
// called, so tests can see when and how often the graph ran it.
class Probe : public wave::Source {
public:
    explicit Probe(wave::Graph& graph, std::vector<const Probe*>* callOrder = nullptr)
        : wave::Source(graph), order(callOrder)
    {
    }

    int process(wave::Block& target, int numSamples, int flags) override
    {
        ++calls;
        lastFlags = flags;
        lastSamples = numSamples;
        target.fill(static_cast<float>(calls), 0, numSamples);
        if (order)
            order->push_back(this);
        return numSamples;
    }
    void reset() override { ++resets; }

    int calls = 0;
    int resets = 0;
    int lastFlags = -1;
    int lastSamples = 0;

private:
    std::vector<const Probe*>* order;
};
