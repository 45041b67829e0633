#include "wave/Producer.h"

#include <limits>

namespace wave {

Producer::Producer(Graph& graph, int creationFlags)
    : Component(graph),
      ownedBlock((creationFlags & NoOwnBlock) ? nullptr : std::make_unique<Block>(graph.getBlockSize())),
      targetBlock(ownedBlock ? ownedBlock.get() : &graph.scratchBlock()),
      // One frame behind the graph: a new producer computes on its first pull.
      frameStamp(graph.getFrame() - 1u), producedBlock(&graph.getScratch())
{
    graph.registerProducer();
}

Producer::~Producer()
{
    Graph& graph = getGraph();
    graph.remove(*this);
    graph.removeFromResetList(*this);
    graph.unregisterProducer();
}

void Producer::handOn(Producer* input)
{
    if (!input) {
        getGraph().endRests();
        return;
    }
    handedOn = input;
    restingBlock = nullptr;
    shortcutSamples = std::numeric_limits<int>::max();
    shortcutCount = getGraph().getRestCount();
}

void Producer::restOn(const Block& block, int samples)
{
    handedOn = nullptr;
    restingBlock = &block;
    shortcutSamples = samples;
    shortcutCount = getGraph().getRestCount();
}

void Producer::takeShortcut(int numSamples)
{
    if (restingBlock) {
        producedBlock = restingBlock;
        constantOutput = true;
        return;
    }
    producedBlock = &handedOn->pull(numSamples, 0);
    constantOutput = handedOn->constantOutput;
}

void Producer::run(Block& target, int numSamples, int flags)
{
    producedBlock = &target;
    process(target, numSamples, flags);
    frameStamp = getGraph().getFrame();
}

} // namespace wave
