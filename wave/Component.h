#pragma once

namespace wave {

class Graph;

// Anything that lives in an audio graph: producers, sinks and multi-output
// nodes. It only remembers the graph it belongs to, which gives it the block
// size, the sample rate and the frame counter.
class Component {
public:
    explicit Component(Graph& graph) : ownerGraph(graph) {}
    // Called on the thread that owns the node (the plug-in's control thread,
    // while the audio thread is not processing it).
    virtual ~Component() = default;
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    Graph& getGraph() const { return ownerGraph; }

private:
    Graph& ownerGraph;
};

} // namespace wave
