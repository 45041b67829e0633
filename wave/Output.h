#pragma once

#include "wave/Component.h"
#include "wave/Consumer.h"

namespace wave {

// A sink: pulls a producer without producing anything itself (a trigger
// that watches a gate signal, a plug-in channel's output tap).
class Output : public Component, public Consumer {
public:
    explicit Output(Graph& graph, Producer* source = nullptr, int linkFlags = 0)
        : Component(graph), Consumer(source, linkFlags)
    {
    }

    // The source's block for this frame, or null without a source. Audio thread.
    const Block* pull(int numSamples, int flags = 0) const { return pullSource(numSamples, flags); }
};

} // namespace wave
