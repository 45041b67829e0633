#include "filters/GenericFilter.h"

#include "wave/BlockLoops.h"

GenericFilter::GenericFilter(wave::Graph& graph, wave::Producer* source)
    : wave::Filter(graph, source), cutoff(graph, defaultCutoff), amount(graph, defaultAmount),
      peak(graph, defaultPeak), peakMultiplier(graph, 1.0f), response(nullptr, lowPass),
      slope(nullptr, slope12), autoMute(nullptr, false), gatheredFrame(graph.getFrame() - 1u),
      filteredFrame(graph.getFrame() - 1u)
{
    graph.addToResetList(*this);
}

GenericFilter::~GenericFilter()
{
    setParallelUnit(nullptr);
}

void GenericFilter::setUnit(FilterUnit* unit)
{
    currentUnit = unit;
}

bool GenericFilter::setParallelUnit(ParallelFilterUnit* unit)
{
    if (unit == parallelUnit)
        return true;
    if (parallelUnit)
        parallelUnit->unregisterOwner(*this);
    parallelUnit = nullptr;
    if (!unit)
        return true;
    const int taken = unit->registerOwner(*this, lane);
    if (taken < 0)
        return false;
    lane = taken;
    parallelUnit = unit;
    return true;
}

void GenericFilter::reset()
{
    if (parallelUnit)
        parallelUnit->reset();
    if (currentUnit)
        currentUnit->reset();
}

void GenericFilter::prepare(int numSamples)
{
    if (gatheredFrame != getGraph().getFrame())
        gather(pullSource(numSamples, 0), numSamples);
}

void GenericFilter::gather(const wave::Block* input, int n)
{
    gatheredFrame = getGraph().getFrame();
    inputBlock = input;
    inputSamples = input ? input->data() : getGraph().getScratch().data();
    cutoffSignal = cutoff.pull(n);
    peakSignal = peak.pull(n);
    const ControlInput::Signal multiplier =
        autoMute && peakMultiplier.isLinked() ? peakMultiplier.pull(n) : ControlInput::Signal{nullptr, true};
    multiplierSamples = multiplier.samples;
    multiplierConstant = multiplier.constant;
    streamsConstant = cutoffSignal.constant && peakSignal.constant;
    amountSignal = amount.pull(n);
    enabled = !isConstantZero(amountSignal);
    if (parallelUnit)
        parallelUnit->idle.forget();
    muted = isMuted();
}

void GenericFilter::processBlock(const wave::Block* input, wave::Block&, int n, int flags)
{
    if (flags & (OutputNotNeeded | NoConsumer))
        return;
    if (gatheredFrame != getGraph().getFrame())
        gather(input, n);
    if (parallelUnit) {
        parallelUnit->response.set(response);
        parallelUnit->slope.set(slope);
        parallelUnit->processAllOwners(n);
    } else if (currentUnit && wantsFiltering()) {
        currentUnit->response.set(response);
        currentUnit->slope.set(slope);
        currentUnit->process(inputSamples, laneOutput(), cutoffSignal.samples, peakSignal.samples,
                             multiplierSamples, n, streamsConstant);
        markFiltered();
    }
    finish(n);
}

void GenericFilter::finish(int n)
{
    if (muted) {
        setLastBlock(getGraph().getScratch());
        setConstant(true);
        return;
    }
    if (!enabled || filteredFrame != getGraph().getFrame()) {
        // Bypassed (or no unit could run): the input goes on as it is.
        setLastBlock(inputBlock ? *inputBlock : getGraph().getScratch());
        setConstant(!inputBlock || (getSource() && getSource()->isConstant()));
        return;
    }
    setConstant(false);
    if (isConstantOne(amountSignal))
        return;
    float* out = laneOutput();
    blockloops::blend(out, inputSamples, out, amountSignal.samples, n);
}

// --- ParallelFilterUnit ---------------------------------------------------------

GenericFilter::ParallelFilterUnit::ParallelFilterUnit(wave::Graph& graph)
    : FilterUnit(graph), passFrame(graph.getFrame() - 1u)
{
}

GenericFilter::ParallelFilterUnit::~ParallelFilterUnit()
{
    for (GenericFilter* owner : owners) {
        if (owner)
            owner->parallelUnit = nullptr;
    }
}

int GenericFilter::ParallelFilterUnit::getOwnerCount() const
{
    int count = 0;
    for (const GenericFilter* owner : owners)
        count += owner != nullptr;
    return count;
}

int GenericFilter::ParallelFilterUnit::registerOwner(GenericFilter& owner, int preferredLane)
{
    for (int i = 0; i < maxOwners; ++i) {
        if (owners[static_cast<std::size_t>(i)] == &owner)
            return i;
    }
    // Coming back to the lane it left finds its states as they were.
    if (preferredLane >= 0 && preferredLane < maxOwners && !owners[static_cast<std::size_t>(preferredLane)]) {
        owners[static_cast<std::size_t>(preferredLane)] = &owner;
        idle.forget();
        ownersFound.forget();
        return preferredLane;
    }
    for (int i = 0; i < maxOwners; ++i) {
        if (!owners[static_cast<std::size_t>(i)]) {
            owners[static_cast<std::size_t>(i)] = &owner;
            idle.forget();
            ownersFound.forget();
            return i;
        }
    }
    return -1;
}

void GenericFilter::ParallelFilterUnit::unregisterOwner(GenericFilter& owner)
{
    for (GenericFilter*& slot : owners) {
        if (slot == &owner)
            slot = nullptr;
    }
    idle.forget();
    ownersFound.forget();
}

bool GenericFilter::ParallelFilterUnit::beginPass(int frameCount)
{
    const std::uint32_t frame = getGraph().getFrame();
    if (running || passFrame == frame)
        return false;
    running = true;
    passFrame = frame;
    for (GenericFilter* owner : owners) {
        if (owner)
            owner->prepare(frameCount);
    }
    return true;
}
