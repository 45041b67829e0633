#pragma once

#include "wave/Component.h"
#include "wave/Producer.h"

#include <memory>
#include <vector>

namespace wave {

// One computation with several outputs (a stereo pair of control signals,
// a routing node's channels). Each output is a producer of its own; pulling
// any of them runs processAll once and stamps every output, so pulling the
// others in the same frame costs nothing.
class MultiProducer : public Component {
public:
    class Output : public Producer {
    public:
        Output(MultiProducer& owner, int index);
        // Runs the owner's computation for all outputs. Audio thread.
        int process(Block& target, int numSamples, int flags) override;
        MultiProducer& getOwner() const { return multiProducer; }
        int getIndex() const { return outputIndex; }

    private:
        friend class MultiProducer;
        MultiProducer& multiProducer;
        int outputIndex;
    };

    // Control thread, while building. Allocates one block and one Output per
    // output (at least one).
    explicit MultiProducer(Graph& graph, int numOutputs = 2);
    ~MultiProducer() override;

    int getNumOutputs() const { return static_cast<int>(outputProducers.size()); }
    Output& getOutput(int index) const { return *outputProducers[static_cast<std::size_t>(index)]; }

    // Computes numSamples samples of every output. blocks[i] starts at
    // output i's own block; the computation may point it at another block
    // instead (a pass-through) and reports each output's constant flag with
    // setOutputConstant. Audio thread.
    virtual void processAll(Block** blocks, int numSamples, int flags) = 0;

    // Zeroes every output block. Audio or control thread.
    virtual void clear();

protected:
    // Hands output index on to a producer while the graph's rests last (see
    // Producer::handOn). Audio thread, from processAll.
    void handOutputOn(int index, Producer* input);
    void setOutputConstant(int index, bool isConstant)
    {
        outputProducers[static_cast<std::size_t>(index)]->setConstant(isConstant);
    }

private:
    void produceAll(int numSamples, int flags);

    std::vector<std::unique_ptr<Block>> outputBlocks;
    std::vector<std::unique_ptr<Output>> outputProducers;
    std::vector<Block*> frameBlocks; // the blocks of the current frame
};

} // namespace wave
