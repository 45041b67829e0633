#pragma once

#include "wave/Block.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace wave {

class Producer;

// The audio graph of one plug-in instance: block size, sample rate, frame
// counter, the run list of nodes that keep running when nobody reads them,
// the reset list, and child graphs that run at a multiple of this rate.
//
// Per sub-block the plug-in calls nextFrame(), pulls its outputs (each pull
// computes a producer at most once per frame), then advance(). The lists
// reserve a place for every producer built on the graph, so inserting,
// removing and advancing never allocate. The graph must outlive the nodes
// built on it (their destructors leave its lists).
class Graph {
public:
    // The block size a graph gets unless its owner chooses one.
    static constexpr int maxBlockSize = 1024;

    // blockSize: the largest number of samples a node of this graph is asked
    // for at once (at least 1). Every node holds a block of that size.
    explicit Graph(float sampleRate = 44100.0f, int blockSize = maxBlockSize);
    ~Graph();
    Graph(const Graph&) = delete;
    Graph& operator=(const Graph&) = delete;

    int getBlockSize() const { return blockSize; }
    int getProducerCount() const { return producerCount; }
    float getSampleRate() const { return sampleRate; }
    std::uint32_t getFrame() const { return frame; }
    std::uint32_t getPosition() const { return position; }
    std::uint32_t getResetPosition() const { return resetPosition; }
    // How many resets the graph has seen: ramps compare it with the count
    // of their last look, so a reset ends them even at the same position.
    std::uint32_t getResetCount() const { return resetCount; }
    int getRateFactor() const { return rateFactor; }

    // Shortcuts of nodes at rest (see Producer::handOn) hold while this
    // count stays. Anything that could end a rest (a ramp's new target, a
    // relinked input, a switch moving, a reset) calls endRests, here and in
    // the children; the nodes then run once and find their rest again.
    // Audio thread, or the control thread while the graph is not processing.
    std::uint64_t getRestCount() const { return restCount; }
    void endRests();

    // A zeroed block of blockSize samples: silence for nodes with nothing to
    // deliver. Nobody writes into it.
    const Block& getScratch() const { return scratch; }

    // Control thread, while building: a sub-graph running at rateFactor (at
    // least 1) times this graph's rate, owned by this graph. Its block size
    // and sample rate scale with the factor.
    Graph& addChild(int rateFactor);
    int getChildCount() const { return static_cast<int>(children.size()); }
    Graph& getChild(int index) const { return *children[static_cast<std::size_t>(index)]; }

    // Control thread, while the audio thread is stopped. Reaches every child
    // at rate × its rateFactor. Nodes read the rate when they need it.
    void setSampleRate(float rate);

    // Run list, in the order of insertion. Audio thread (nodes follow their
    // parameter set becoming live) or control thread while building. A
    // producer of another graph or one already in the list is left alone.
    void insert(Producer& producer);
    void remove(Producer& producer);
    std::span<Producer* const> getRunList() const { return runList; }

    // Reset list: producers whose state Graph::reset clears. Control thread.
    void addToResetList(Producer& producer);
    void removeFromResetList(Producer& producer);
    std::span<Producer* const> getResetList() const { return resetList; }

    // Audio thread: starts a new frame here and in every child.
    void nextFrame();
    // Audio thread, after the pulls of a frame: runs the run-list producers
    // not yet produced this frame (with OutputNotNeeded when they have
    // consumers, NoConsumer when they have none), then moves the position on
    // by numSamples here and by numSamples × rateFactor in each child.
    void advance(int numSamples);
    // Control thread, outside processing (the host switched to bypass):
    // records the position and resets every producer of the reset list,
    // here and in the children.
    void reset();

private:
    friend class Producer;
    Graph(float sampleRate, int blockSize, int rateFactor);
    void registerProducer();
    void unregisterProducer() { --producerCount; }
    Block& scratchBlock() { return scratch; }

    int blockSize;
    int producerCount = 0;
    std::vector<Producer*> runList;
    std::vector<Producer*> resetList;
    std::uint32_t resetPosition = 0;
    std::uint32_t resetCount = 0;
    std::uint32_t position = 0;
    float sampleRate;
    std::vector<std::unique_ptr<Graph>> children;
    std::uint32_t frame = 0;
    std::uint64_t restCount = 1;
    Block scratch;
    int rateFactor;
};

} // namespace wave
