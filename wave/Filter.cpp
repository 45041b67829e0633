#include "wave/Filter.h"

namespace wave {

Filter::Filter(Graph& graph, Producer* source, int creationFlags, int linkFlags)
    : Producer(graph, creationFlags), Consumer(source, linkFlags)
{
}

int Filter::process(Block& target, int numSamples, int flags)
{
    processBlock(pullSource(numSamples, flags), target, numSamples, flags);
    return numSamples;
}

} // namespace wave
