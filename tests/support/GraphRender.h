#pragma once

#include "wave/Graph.h"
#include "wave/Producer.h"

#include <algorithm>
#include <vector>

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
