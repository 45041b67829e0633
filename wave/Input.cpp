#include "wave/Input.h"

#include "wave/Graph.h"

#include <algorithm>

namespace wave {

Input::Input(Graph& graph) : Source(graph)
{
    graph.insert(*this);
}

void Input::setBuffer(const float* buffer, int numSamples)
{
    hostBuffer = buffer;
    hostSamplesLeft = std::max(numSamples, 0);
}

int Input::process(Block& target, int numSamples, int flags)
{
    const int available = hostBuffer ? std::min(numSamples, hostSamplesLeft) : 0;
    if (!(flags & (OutputNotNeeded | NoConsumer))) {
        if (available > 0)
            std::copy_n(hostBuffer, available, target.data());
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
