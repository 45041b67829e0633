#pragma once

#include "wave/Graph.h"

#include <cstdint>
#include <limits>

namespace wave {

// What a node read or worked out while all it depends on was at rest (see
// Producer::handOn) holds until the graph's rests end, for blocks of up to
// the length it was read for: a reader keeps one of these beside what it
// read, and reads again once it no longer holds. Audio thread.
class RestHold {
public:
    bool holds(const Graph& graph, int numSamples) const
    {
        return count == graph.getRestCount() && numSamples <= samples;
    }
    void keep(const Graph& graph, int numSamples = std::numeric_limits<int>::max())
    {
        count = graph.getRestCount();
        samples = numSamples;
    }
    void forget() { count = 0; }

private:
    std::uint64_t count = 0; // 0 never matches: the graph's count starts at 1
    int samples = 0;
};

} // namespace wave
