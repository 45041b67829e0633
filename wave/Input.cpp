#include "wave/Input.h"

#include "wave/Graph.h"

#include <algorithm>

namespace wave {

Input::Input(Graph& graph) : Source(graph)
{
    graph.insert(*this);
}

int Input::process(Block& target, int numSamples, int flags)
{
    const int available = hostBuffer ? std::min(numSamples, hostSamplesLeft) : 0;
    if (!(flags & (OutputNotNeeded | NoConsumer))) {
        if (available > 0)
            std::copy_n(hostBuffer, available, target.data());
        if (available < numSamples)
            target.fill(0.0f, available, numSamples);
    }
    setConstant(false);
    if (hostBuffer) {
        hostBuffer += available;
        hostSamplesLeft -= available;
    }
    return numSamples;
}

} // namespace wave
