#include "wave/MultiProducer.h"

#include <algorithm>

namespace wave {

MultiProducer::Output::Output(MultiProducer& owner, int index)
    : Producer(owner.getGraph(), NoOwnBlock), multiProducer(owner), outputIndex(index)
{
    useBlock(*owner.outputBlocks[static_cast<std::size_t>(index)]);
}

int MultiProducer::Output::process(Block&, int numSamples, int flags)
{
    multiProducer.produceAll(numSamples, flags);
    return numSamples;
}

MultiProducer::MultiProducer(Graph& graph, int numOutputs) : Component(graph)
{
    const auto count = static_cast<std::size_t>(std::max(numOutputs, 1));
    outputBlocks.reserve(count);
    outputProducers.reserve(count);
    frameBlocks.resize(count, nullptr);
    for (std::size_t i = 0; i < count; ++i) {
        outputBlocks.push_back(std::make_unique<Block>(graph.getBlockSize()));
        outputProducers.push_back(std::make_unique<Output>(*this, static_cast<int>(i)));
    }
}

MultiProducer::~MultiProducer() = default;

void MultiProducer::produceAll(int numSamples, int flags)
{
    for (std::size_t i = 0; i < outputProducers.size(); ++i)
        frameBlocks[i] = outputBlocks[i].get();
    processAll(frameBlocks.data(), numSamples, flags);
    // Every output now holds this frame's result: stamping them all makes
    // pulling the other outputs free.
    const std::uint32_t frame = getGraph().getFrame();
    for (std::size_t i = 0; i < outputProducers.size(); ++i) {
        outputProducers[i]->producedBlock = frameBlocks[i];
        outputProducers[i]->frameStamp = frame;
    }
}

void MultiProducer::handOutputOn(int index, Producer* input)
{
    static_cast<Producer&>(*outputProducers[static_cast<std::size_t>(index)]).handOn(input);
}

void MultiProducer::clear()
{
    for (auto& block : outputBlocks)
        block->clear();
}

} // namespace wave
