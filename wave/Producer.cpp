#include "wave/Producer.h"

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
    restHold.keep(getGraph());
}

void Producer::restOn(const Block& block, int samples)
{
    handedOn = nullptr;
    restingBlock = &block;
    restHold.keep(getGraph(), samples);
}

void Producer::takeShortcut(int numSamples)
{
    if (restingBlock) {
        producedBlock = restingBlock;
        constantOutput = true;
        return;
    }
    Producer& next = *handedOn;
    producedBlock = &next.pull(numSamples, 0);
    constantOutput = next.constantOutput;
    // The next node at rest too, for as long as this one (same graph, same
    // count): link past it to where it leads, so the following frames take
    // one step where a chain of settled switches took one per switch. The
    // node passed over keeps its last stamp: nothing reads a node at rest
    // without pulling it, and a pull of it takes its own shortcut.
    if (&next.getGraph() == &getGraph() && next.restHold.holds(getGraph(), 0)) {
        handedOn = next.handedOn;
        restingBlock = next.restingBlock;
        if (restingBlock)
            restHold = next.restHold;
    }
}

void Producer::run(Block& target, int numSamples, int flags)
{
    producedBlock = &target;
    process(target, numSamples, flags);
    frameStamp = getGraph().getFrame();
}

} // namespace wave
