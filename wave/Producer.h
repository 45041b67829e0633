#pragma once

#include "wave/Block.h"
#include "wave/Component.h"
#include "wave/Graph.h"
#include "wave/RestHold.h"

#include <cstdint>
#include <memory>

namespace wave {

// A node that delivers one block of samples per graph frame. Consumers read
// it through pull(), which computes the block at most once per frame, so a
// producer read by several consumers (one modulation source feeding four
// filters) runs once.
class Producer : public Component {
public:
    // Creation flag: the producer gets no block of its own; it writes into a
    // block its owner gives it or points lastBlock at a block it holds
    // elsewhere. Until it does, it points at the graph's scratch block.
    static constexpr int NoOwnBlock = 1;

    // Process flags.
    // The output is not needed this frame: advance the state, samples may be skipped.
    static constexpr int OutputNotNeeded = 1;
    // Nobody is linked to this producer; it runs only for its side effects.
    static constexpr int NoConsumer = 2;

    // Control thread, while the graph is being built. Registers with the graph
    // so its run and reset lists can hold every producer without growing.
    explicit Producer(Graph& graph, int creationFlags = 0);
    // Control thread, while the audio thread does not process the graph.
    // Leaves the run and reset lists. Consumers must be unlinked first.
    ~Producer() override;

    // Memoized pull: computes the block for the current frame unless that
    // was already done, and returns the block that holds it. Audio thread.
    // A pull with OutputNotNeeded stamps the frame without computing samples,
    // so only use it where no other consumer may need the samples this frame.
    const Block& pull(int numSamples, int flags = 0)
    {
        const std::uint32_t frame = getGraph().getFrame();
        if (frameStamp != frame) {
            if (flags == 0 && restHold.holds(getGraph(), numSamples)) {
                takeShortcut(numSamples);
            } else {
                producedBlock = targetBlock;
                process(*targetBlock, numSamples, flags);
            }
            frameStamp = frame;
        }
        return *producedBlock;
    }

    // Produces numSamples samples into target now, whatever the frame, and
    // records the result as this frame's. Audio thread. For an owner that
    // drives a producer directly instead of through the memoized pull.
    virtual void run(Block& target, int numSamples, int flags);

    // Computes numSamples (at most the graph's block size) samples into
    // target, honouring the process flags. A node whose result sits in
    // another block (a pass-through, a parameter ramp) calls setLastBlock;
    // it reports a block holding one value throughout with setConstant.
    // Returns the number of samples produced. Audio thread only.
    virtual int process(Block& target, int numSamples, int flags) = 0;

    // Clears the node's state (a delay line empties its buffer). Called by
    // Graph::reset for producers in the reset list, outside processing.
    virtual void reset() {}

    // The producer whose block this node hands on unchanged, for as long as
    // nothing is changed (a switch or a mixer settled on one input): lets a
    // reader see where a signal really comes from. Null while the node
    // computes, mixes or glides, and when it cannot say. Audio thread.
    virtual const Producer* passesOn() const { return nullptr; }

    // The block pull() hands to process(): the own block, or the graph's
    // scratch block for a producer created with NoOwnBlock.
    Block& getBlock() const { return *targetBlock; }
    bool hasOwnBlock() const { return ownedBlock != nullptr; }
    const Block& getLastBlock() const { return *producedBlock; }
    // True when the last block holds a single value throughout; consumers
    // may then treat it as a scalar.
    bool isConstant() const { return constantOutput; }
    int getConsumerCount() const { return linkedConsumers; }
    std::uint32_t getStamp() const { return frameStamp; }
    bool producedThisFrame() const { return frameStamp == getGraph().getFrame(); }

    // Whether the node is live (its parameter set is in use); the owner
    // that inserts and removes it from the run list keeps this in step.
    bool isActive() const { return activeNode; }
    void setActive(bool isActive) { activeNode = isActive; }
    bool isInRunList() const { return listedToRun; }
    bool isInResetList() const { return listedToReset; }
    // The node itself is at rest (see handOn): what it hands on or rests on
    // stays so until the graph's rests end.
    bool isAtRest() const { return restHold.holds(getGraph(), 0); }
    // The node is at rest and its output keeps its value until the graph's
    // rests end: it rests on a block, or hands on a node that does.
    bool holdsStill() const
    {
        return restHold.holds(getGraph(), 0) && (restingBlock || (handedOn && handedOn->holdsStill()));
    }

protected:
    // Points a producer created with NoOwnBlock at a block its owner holds
    // (the outputs of a multi-producer). Control thread, while building.
    void useBlock(Block& given) { targetBlock = &given; }
    void setConstant(bool isConstant) { constantOutput = isConstant; }
    void setLastBlock(const Block& produced) { producedBlock = &produced; }
    // A node at rest on handing one input on unchanged (a switch settled on
    // one input, a gain of 1 that stays) names that input here; a node whose
    // output stays one value rests on a block holding it for `samples`
    // samples. Until the graph's rests end (Graph::endRests), a pull then
    // takes the input's block (or the resting block, constant) without
    // calling process; afterwards the node runs and may find its rest again.
    // The frame is still stamped and the last block set, so readers that look
    // without pulling see this frame's; but a node at rest behind another
    // one at rest is soon linked past (see takeShortcut) and then keeps its
    // last stamp, so nobody may read a node at rest without pulling it. Most
    // of a patch's switches and controls sit like this, and a pass through
    // each cost more than its reader's work. A null input ends the node's
    // rest, and every other one (the node's own change may end a rest that
    // others built on it).
    // Audio thread from process, or the control thread while the graph is
    // not processing.
    void handOn(Producer* input);
    void restOn(const Block& block, int samples);

private:
    // Out of line: keeps the usual path of pull small enough to inline.
    void takeShortcut(int numSamples);

    friend class Graph;
    friend class Consumer;
    friend class MultiProducer;

    // Distinct names: derived nodes use words like "block" and "constant"
    // for their own locals.
    std::unique_ptr<Block> ownedBlock;
    Block* targetBlock;
    int linkedConsumers = 0;
    bool constantOutput = false;
    bool activeNode = true;
    bool listedToRun = false;
    bool listedToReset = false;
    std::uint32_t frameStamp;
    const Block* producedBlock;
    // The rest (handOn, restOn) and how long it holds.
    Producer* handedOn = nullptr;
    const Block* restingBlock = nullptr;
    RestHold restHold;
};

} // namespace wave
