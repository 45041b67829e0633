#include "wave/Graph.h"

#include "wave/Producer.h"

#include <algorithm>

namespace wave {

Graph::Graph(float rate, int size) : Graph(rate, std::max(size, 1), 1) {}

Graph::Graph(float rate, int size, int factor)
    : blockSize(size), sampleRate(rate), scratch(size), rateFactor(factor)
{
}

Graph::~Graph() = default;

Graph& Graph::addChild(int factor)
{
    factor = std::max(factor, 1);
    children.push_back(std::unique_ptr<Graph>(
        new Graph(sampleRate * static_cast<float>(factor), blockSize * factor, factor)));
    return *children.back();
}

void Graph::setSampleRate(float rate)
{
    if (!(rate > 0.0f))
        return;
    sampleRate = rate;
    for (auto& child : children)
        child->setSampleRate(rate * static_cast<float>(child->rateFactor));
}

void Graph::endRests()
{
    ++restCount;
    for (auto& child : children)
        child->endRests();
}

void Graph::registerProducer()
{
    ++producerCount;
    // Grow geometrically: reserving one more place per producer would copy
    // the lists once per node while a large graph is built.
    const auto needed = static_cast<std::size_t>(producerCount);
    if (runList.capacity() < needed)
        runList.reserve(std::max(needed, runList.capacity() * 2));
    if (resetList.capacity() < needed)
        resetList.reserve(std::max(needed, resetList.capacity() * 2));
}

void Graph::insert(Producer& producer)
{
    if (&producer.getGraph() != this || producer.listedToRun)
        return;
    runList.push_back(&producer);
    producer.listedToRun = true;
}

void Graph::remove(Producer& producer)
{
    if (!producer.listedToRun || &producer.getGraph() != this)
        return;
    const auto it = std::find(runList.begin(), runList.end(), &producer);
    if (it == runList.end())
        return;
    runList.erase(it);
    producer.listedToRun = false;
}

void Graph::addToResetList(Producer& producer)
{
    if (&producer.getGraph() != this || producer.listedToReset)
        return;
    resetList.push_back(&producer);
    producer.listedToReset = true;
}

void Graph::removeFromResetList(Producer& producer)
{
    if (!producer.listedToReset || &producer.getGraph() != this)
        return;
    const auto it = std::find(resetList.begin(), resetList.end(), &producer);
    if (it != resetList.end())
        resetList.erase(it);
    producer.listedToReset = false;
}

void Graph::nextFrame()
{
    ++frame;
    for (auto& child : children)
        child->nextFrame();
}

void Graph::advance(int numSamples)
{
    // Producers run here may pull others (memoized) but must not change the
    // run list; nodes leave it when their parameter set is applied.
    for (std::size_t i = 0; i < runList.size(); ++i) {
        Producer& p = *runList[i];
        // The memoized pull skips whatever was produced this frame, linked or
        // not: owners may pull a producer without a consumer link (a plug-in
        // channel's output, a mixer reading its inputs), and a node must never
        // advance its state twice in one frame.
        p.pull(numSamples, p.linkedConsumers > 0 ? Producer::OutputNotNeeded : Producer::NoConsumer);
    }
    position += static_cast<std::uint32_t>(numSamples);
    for (auto& child : children)
        child->advance(numSamples * child->rateFactor);
}

void Graph::reset()
{
    resetPosition = position;
    ++resetCount;
    endRests();
    for (Producer* p : resetList)
        p->reset();
    for (auto& child : children)
        child->reset();
}

} // namespace wave
