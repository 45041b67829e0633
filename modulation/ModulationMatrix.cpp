#include "modulation/ModulationMatrix.h"

#include "modulation/InternalController.h"
#include "modulation/ModulationKernels.h"

#include <cmath>
#include <stdexcept>

float ModulationMatrix::TargetKind::depthFor(int sourceType) const
{
    for (const auto& [sourceTypeOfPair, depth] : depths)
        if (sourceTypeOfPair == sourceType)
            return depth;
    return defaultDepth;
}

ModulationMatrix::TargetEntry::TargetEntry(wave::Graph& graph) : ramp(graph, 0.0f), forwarder(ramp) {}

ModulationMatrix::ModulationMatrix(wave::Graph& graph)
    : wave::Component(graph), sources(numSources), controllers(numTargets), sourceOutputs(numSources, nullptr)
{
    for (int s = 0; s < numSources; ++s)
        sources[static_cast<std::size_t>(s)].type = defaultSourceType(s);
    targets.reserve(numTargets);
    producers.reserve(numTargets);
    for (int t = 0; t < numTargets; ++t) {
        targets.push_back(std::make_unique<TargetEntry>(graph));
        producers.push_back(std::make_unique<GlobalModulationProducer>(*this, t));
    }
    slots.reserve(numSlots);
    for (int i = 0; i < numSlots; ++i) {
        auto slot = std::make_unique<Slot>();
        slot->index = i;
        slot->levelTarget = firstLevelTarget + i;
        slot->matrix = this;
        slotDepths[static_cast<std::size_t>(i)].store(1.0f, std::memory_order_relaxed);
        slots.push_back(std::move(slot));
    }
    internal = std::make_unique<InternalController>(*this);
}

// Consumers (the controllers) go before the producers they pull.
ModulationMatrix::~ModulationMatrix()
{
    controllers.clear();
    producers.clear();
}

int ModulationMatrix::defaultSourceType(int source)
{
    if (source < 0 || source >= numSources)
        return none;
    if (source < 6)
        return XLFOType;
    if (source < 12)
        return EGType;
    if (source < 16)
        return EFType;
    return MidiType;
}

// --- Building ---

int ModulationMatrix::addKind(const TargetKind& kind)
{
    kinds.push_back(std::make_unique<TargetKind>(kind));
    return static_cast<int>(kinds.size()) - 1;
}

const ModulationMatrix::TargetKind& ModulationMatrix::getKind(int kind) const
{
    if (kind < 0 || kind >= getKindCount())
        throw std::out_of_range("No such modulation target kind");
    return *kinds[static_cast<std::size_t>(kind)];
}

void ModulationMatrix::registerTarget(int target, int kind)
{
    if (!isTarget(target))
        return;
    const TargetKind& k = getKind(kind);
    TargetEntry& entry = *targets[static_cast<std::size_t>(target)];
    entry.kind = &k;
    entry.maximum = k.maximum;
    entry.minimum = k.minimum;
    entry.ramp.setLimits(k.minimum, k.maximum);
    entry.ramp.setReferenceRange(k.rampRange > 0.0f ? k.rampRange : k.maximum - k.minimum);
}

void ModulationMatrix::setSourceOutput(int source, wave::Producer* output)
{
    if (!isSource(source))
        return;
    sourceOutputs[static_cast<std::size_t>(source)] = output;
    getGraph().endRests();  // the sums that read it plan again
    updateCompleteness();
    updateClampFlags();
}

void ModulationMatrix::setSourceType(int source, int type)
{
    if (isSource(source) && type >= 0 && type < numSourceTypes) {
        sources[static_cast<std::size_t>(source)].type = type;
        updateDepths();
    }
}

void ModulationMatrix::addOwnTarget(int source, int target)
{
    if (!isSource(source) || !isTarget(target))
        return;
    std::vector<int>& own = sources[static_cast<std::size_t>(source)].ownTargets;
    for (int t : own)
        if (t == target)
            return;
    own.push_back(target);
    reevaluate();
}

void ModulationMatrix::setSlotLevelTarget(int slot, int target)
{
    if (!isSlot(slot))
        return;
    slots[static_cast<std::size_t>(slot)]->levelTarget = isTarget(target) ? target : none;
    slotDepths[static_cast<std::size_t>(slot)].store(
        isTarget(target) ? targets[static_cast<std::size_t>(target)]->scale : 0.0f, std::memory_order_relaxed);
    reevaluate();
}

void ModulationMatrix::setTargetListener(int target, SecondaryTarget* listener)
{
    if (isTarget(target))
        targets[static_cast<std::size_t>(target)]->listener = listener;
}

ModulationMatrix::GlobalTargetController& ModulationMatrix::getTargetController(int target)
{
    if (!isTarget(target))
        throw std::out_of_range("No such modulation target");
    auto& controller = controllers[static_cast<std::size_t>(target)];
    if (!controller)
        controller = std::make_unique<GlobalTargetController>(*producers[static_cast<std::size_t>(target)]);
    return *controller;
}

// --- Changes ---

void ModulationMatrix::setBaseValue(int target, float value)
{
    if (!isTarget(target) || std::isnan(value))
        return;
    TargetEntry& entry = *targets[static_cast<std::size_t>(target)];
    entry.base = value;
    entry.ramp.setTarget(ParameterRamp::automaticTime, value * entry.scale);
    if (entry.listener)
        entry.listener->update();
    // Until the audio has computed the target, its base is what it holds.
    const auto t = static_cast<std::size_t>(target);
    if (t >= producers.size() || !producers[t]->hasRun())
        targetValues[t].store(value * entry.scale, std::memory_order_relaxed);
}

void ModulationMatrix::setSlotSource(int slot, int source)
{
    if (!isSlot(slot))
        return;
    if (!isSource(source))
        source = none;
    Slot& s = *slots[static_cast<std::size_t>(slot)];
    if (s.source == source)
        return;
    if (isSource(s.source))
        sources[static_cast<std::size_t>(s.source)].slots.remove(&s);
    s.source = source;
    if (isSource(source))
        sources[static_cast<std::size_t>(source)].slots.push_back(&s);
    structureChanged();
}

void ModulationMatrix::setSlotTarget(int slot, int target)
{
    if (!isSlot(slot))
        return;
    if (!isTarget(target))
        target = none;
    Slot& s = *slots[static_cast<std::size_t>(slot)];
    if (s.target == target)
        return;
    if (isTarget(s.target))
        targets[static_cast<std::size_t>(s.target)]->slots.remove(&s);
    s.target = target;
    if (isTarget(target))
        targets[static_cast<std::size_t>(target)]->slots.push_back(&s);
    // A target at rest may now be modulated.
    getGraph().endRests();
    structureChanged();
}

void ModulationMatrix::setSlotBypassed(int slot, bool bypassed)
{
    if (!isSlot(slot) || slots[static_cast<std::size_t>(slot)]->bypassed == bypassed)
        return;
    slots[static_cast<std::size_t>(slot)]->bypassed = bypassed;
    structureChanged();
}

void ModulationMatrix::setSlotInverted(int slot, bool inverted)
{
    if (!isSlot(slot) || slots[static_cast<std::size_t>(slot)]->inverted == inverted)
        return;
    slots[static_cast<std::size_t>(slot)]->inverted = inverted;
    depthsChanged();
}

void ModulationMatrix::setSlotLevel(int slot, float level)
{
    if (isSlot(slot))
        setBaseValue(slots[static_cast<std::size_t>(slot)]->levelTarget, level);
}

// --- Validity, completeness, depth ---
//
// Every structural change re-derives the flags of all slots from the slot
// records. A new connection can close a loop through a slot that was valid
// until then (LFO 1 on EG 1's attack, then EG 1 on LFO 1's rate): both are
// in the loop, so both must lose validity, not only the one just changed.
// With 24 slots the full pass is cheap, and it leaves no order dependence.

void ModulationMatrix::structureChanged()
{
    if (holds > 0)
        structureDue = true;
    else
        reevaluate();
}

void ModulationMatrix::depthsChanged()
{
    if (holds > 0)
        depthsDue = true;
    else
        updateDepths();
}

void ModulationMatrix::releaseDerivation()
{
    if (holds == 0 || --holds > 0)
        return;
    if (structureDue)
        reevaluate();
    else if (depthsDue)
        updateDepths();
    structureDue = depthsDue = false;
}

void ModulationMatrix::reevaluate()
{
    updateValidity();
    updateCompleteness();
    updateClampFlags();
    updateDepths();
}

void ModulationMatrix::updateValidity()
{
    for (int i = 0; i < numSlots; ++i)
        slots[static_cast<std::size_t>(i)]->valid.store(internal->isValidConnection(i),
                                                        std::memory_order_relaxed);
}

bool ModulationMatrix::computeComplete(int slot, int depth, std::array<signed char, numSlots>& memo) const
{
    signed char& known = memo[static_cast<std::size_t>(slot)];
    if (known >= 0)
        return known != 0;
    const Slot& s = *slots[static_cast<std::size_t>(slot)];
    bool complete = s.valid.load(std::memory_order_relaxed) && isSource(s.source) &&
                    sourceOutputs[static_cast<std::size_t>(s.source)] != nullptr;
    // Valid slots form no loop through levels, so the descent ends; the
    // depth bound only guards against records changed behind our back.
    if (complete && isTarget(s.levelTarget) && depth <= numSlots) {
        for (const Slot* nested : targets[static_cast<std::size_t>(s.levelTarget)]->slots)
            if (nested->valid.load(std::memory_order_relaxed) &&
                !computeComplete(nested->index, depth + 1, memo))
                complete = false;
    }
    known = complete ? 1 : 0;
    return complete;
}

void ModulationMatrix::updateCompleteness()
{
    std::array<signed char, numSlots> memo;
    memo.fill(-1);
    for (int i = 0; i < numSlots; ++i)
        slots[static_cast<std::size_t>(i)]->complete.store(computeComplete(i, 0, memo),
                                                           std::memory_order_relaxed);
}

void ModulationMatrix::updateClampFlags()
{
    for (auto& entry : targets) {
        bool clamp = true;
        for (const Slot* s : entry->slots)
            if (s->valid.load(std::memory_order_relaxed) && !s->complete.load(std::memory_order_relaxed))
                clamp = false;
        entry->clampEnabled = clamp;
    }
}

int ModulationMatrix::slotOwningLevel(int t) const
{
    for (const auto& s : slots)
        if (s->levelTarget == t)
            return s->index;
    return none;
}

void ModulationMatrix::applyDepth(int slot, int depth, std::array<bool, numSlots>& done)
{
    if (done[static_cast<std::size_t>(slot)] || depth > numSlots)
        return;
    const Slot& s = *slots[static_cast<std::size_t>(slot)];
    // A slot on another slot's level scales with that slot's depth, so the
    // outer slot goes first.
    const int outer = slotOwningLevel(s.target);
    if (outer != none && slots[static_cast<std::size_t>(outer)]->valid.load(std::memory_order_relaxed))
        applyDepth(outer, depth + 1, done);
    done[static_cast<std::size_t>(slot)] = true;

    const TargetEntry& target = *targets[static_cast<std::size_t>(s.target)];
    const int type = sources[static_cast<std::size_t>(s.source)].type;
    float d = target.kind ? target.scale * target.kind->depthFor(type) : target.scale;
    if (s.inverted)
        d = -d;

    TargetEntry& level = *targets[static_cast<std::size_t>(s.levelTarget)];
    level.scale = d;
    slotDepths[static_cast<std::size_t>(slot)].store(d, std::memory_order_relaxed);
    level.minimum = d > 0.0f ? 0.0f : d;
    level.maximum = d > 0.0f ? d : 0.0f;
    level.ramp.setLimits(level.minimum, level.maximum);
    level.ramp.setReferenceRange(std::fabs(d));
    level.ramp.setTarget(0.0f, level.base * d);
    if (level.listener)
        level.listener->update();
}

void ModulationMatrix::updateDepths()
{
    // Every change of the slots ends here (reevaluate): which slots count,
    // and how much, may have changed, so sums planned at rest are planned
    // again.
    getGraph().endRests();
    std::array<bool, numSlots> done{};
    for (int i = 0; i < numSlots; ++i)
        if (slots[static_cast<std::size_t>(i)]->valid.load(std::memory_order_relaxed))
            applyDepth(i, 0, done);
}

// --- Reading ---

const ModulationMatrix::Slot& ModulationMatrix::getSlot(int slot) const
{
    if (!isSlot(slot))
        throw std::out_of_range("No such modulation slot");
    return *slots[static_cast<std::size_t>(slot)];
}

const ModulationMatrix::SourceEntry& ModulationMatrix::getSourceEntry(int source) const
{
    if (!isSource(source))
        throw std::out_of_range("No such modulation source");
    return sources[static_cast<std::size_t>(source)];
}

const ModulationMatrix::TargetEntry& ModulationMatrix::getTargetEntry(int target) const
{
    if (!isTarget(target))
        throw std::out_of_range("No such modulation target");
    return *targets[static_cast<std::size_t>(target)];
}

ModulationMatrix::TargetEntry& ModulationMatrix::getTargetEntry(int target)
{
    if (!isTarget(target))
        throw std::out_of_range("No such modulation target");
    return *targets[static_cast<std::size_t>(target)];
}

ModulationMatrix::GlobalModulationProducer& ModulationMatrix::getModulationProducer(int target) const
{
    if (!isTarget(target))
        throw std::out_of_range("No such modulation target");
    return *producers[static_cast<std::size_t>(target)];
}

wave::Producer* ModulationMatrix::getSourceOutput(int source) const
{
    return isSource(source) ? sourceOutputs[static_cast<std::size_t>(source)] : nullptr;
}

bool ModulationMatrix::isSlotValid(int slot) const
{
    return isSlot(slot) && slots[static_cast<std::size_t>(slot)]->valid.load(std::memory_order_relaxed);
}

bool ModulationMatrix::isSlotComplete(int slot) const
{
    return isSlot(slot) && slots[static_cast<std::size_t>(slot)]->complete.load(std::memory_order_relaxed);
}

float ModulationMatrix::getTargetValue(int target) const
{
    return isTarget(target) ? targetValues[static_cast<std::size_t>(target)].load(std::memory_order_relaxed) : 0.0f;
}

float ModulationMatrix::getSlotDepth(int slot) const
{
    return isSlot(slot) ? slotDepths[static_cast<std::size_t>(slot)].load(std::memory_order_relaxed) : 0.0f;
}

// --- The target signal ---

ModulationMatrix::GlobalModulationProducer::GlobalModulationProducer(ModulationMatrix& owner, int index)
    : wave::Source(owner.getGraph()), matrix(owner), target(index)
{
}

int ModulationMatrix::GlobalModulationProducer::process(wave::Block& block, int numSamples, int)
{
    if (!planned.holds(getGraph(), numSamples))
        return gatherAndSum(block, numSamples);
    // Nothing the sum reads has moved but its sources: the same products
    // added in the same order as sum adds them, straight into the block
    // pull() hands out.
    const float* signals[plannedParts];
    for (int j = 0; j < planSize; ++j)
        signals[j] = plannedSources[static_cast<std::size_t>(j)]->pull(numSamples).data();
    float* out = block.data();
    if (plannedBounds.enabled)
        ModulationKernels::sumScaledClamped(signals, plannedLevels.data(), planSize, plannedBase->data(), out,
                                            plannedBounds.minimum, plannedBounds.maximum, numSamples);
    else
        ModulationKernels::sumScaled(signals, plannedLevels.data(), planSize, plannedBase->data(), out,
                                     numSamples);
    setConstant(false);
    matrix.targetValues[static_cast<std::size_t>(target)].store(out[numSamples - 1], std::memory_order_relaxed);
    return numSamples;
}

int ModulationMatrix::GlobalModulationProducer::gatherAndSum(wave::Block& block, int numSamples)
{
    planned.forget();
    TargetEntry& entry = *matrix.targets[static_cast<std::size_t>(target)];
    const Bounds bounds{entry.clampEnabled, entry.minimum, entry.maximum};
    if (entry.slots.empty() && entry.ramp.holds(numSamples)) {
        // Nothing on the target and its base at rest (most targets, most of
        // the time): the ramp's block as it stands, without a pass through
        // the forwarder and the ramp to find that out.
        setLastBlock(entry.ramp.getBlock());
        setConstant(true);
        matrix.targetValues[static_cast<std::size_t>(target)].store(entry.ramp.getBlock()[numSamples - 1],
                                                                     std::memory_order_relaxed);
        ran = true;
        // And so it stays until a new base value or a slot on the target
        // (which end the graph's rests).
        restOn(entry.ramp.getBlock(), entry.ramp.heldSamples());
        return numSamples;
    }
    // The base: while its ramp holds, the ramp's block as it stands, without
    // a pass through the forwarder to find that out (the modulated targets
    // are computed every block, their bases mostly rest).
    const bool baseHolds = entry.ramp.holds(numSamples);
    const wave::Block& base = baseHolds ? entry.ramp.getBlock() : entry.forwarder.pull(numSamples);
    // Each contribution's signal and level (in target units already: level
    // x depth, plus whatever modulates the level, clamped to [0, depth]);
    // levelSamples is null where the level holds one value.
    const float* signals[numSlots];
    float levels[numSlots];
    const float* levelSamples[numSlots];
    int count = 0;
    bool scalarLevels = true;
    bool levelsRest = true;
    int samplesAtRest = entry.ramp.heldSamples();
    for (const Slot* slot : entry.slots) {
        if (!slot->valid.load(std::memory_order_relaxed) || !slot->complete.load(std::memory_order_relaxed))
            continue;
        wave::Producer& source = *matrix.sourceOutputs[static_cast<std::size_t>(slot->source)];
        signals[count] = source.pull(numSamples).data();
        GlobalModulationProducer& levelProducer =
            *matrix.producers[static_cast<std::size_t>(slot->levelTarget)];
        const wave::Block& level = levelProducer.pull(numSamples);
        levels[count] = level[0];
        levelSamples[count] = levelProducer.isConstant() ? nullptr : level.data();
        scalarLevels = scalarLevels && !levelSamples[count];
        // A level at rest holds its ramp's value, for as long as the ramp does.
        levelsRest = levelsRest && levelProducer.holdsStill();
        samplesAtRest =
            std::min(samplesAtRest, matrix.targets[static_cast<std::size_t>(slot->levelTarget)]->ramp.heldSamples());
        if (count < plannedParts) {
            plannedSources[static_cast<std::size_t>(count)] = &source;
            plannedLevels[static_cast<std::size_t>(count)] = levels[count];
        }
        ++count;
    }
    ran = true;
    if (count == 0) {
        // Nothing on the target (or nothing that counts): the base ramp's
        // block itself, no copy.
        setLastBlock(base);
        setConstant(baseHolds || entry.forwarder.isConstant());
        matrix.targetValues[static_cast<std::size_t>(target)].store(base[numSamples - 1], std::memory_order_relaxed);
        return numSamples;
    }
    if (baseHolds && levelsRest && count <= plannedParts) {
        // Until the rests end (a new base or level, a slot changed, a
        // source's output set: see the matrix's changes).
        planSize = count;
        planned.keep(getGraph(), samplesAtRest);
        plannedBase = &base;
        plannedBounds = bounds;
    }
    return sum(block, numSamples, base.data(), signals, levels, scalarLevels ? nullptr : levelSamples, count,
               bounds);
}

int ModulationMatrix::GlobalModulationProducer::sum(wave::Block& block, int numSamples, const float* base,
                                                    const float* const* signals, const float* levels,
                                                    const float* const* levelSamples, int count, Bounds bounds)
{
    if (!levelSamples) {
        // The usual case: every product, the sum and the clamp in one pass.
        if (bounds.enabled)
            ModulationKernels::sumScaledClamped(signals, levels, count, base, block.data(), bounds.minimum,
                                                bounds.maximum, numSamples);
        else
            ModulationKernels::sumScaled(signals, levels, count, base, block.data(), numSamples);
    } else {
        const float* acc = base;
        for (int j = 0; j < count; ++j) {
            if (levelSamples[j])
                ModulationKernels::multiplyAdd(signals[j], levelSamples[j], acc, block.data(), numSamples);
            else
                ModulationKernels::multiplyAddScalar(signals[j], levels[j], acc, block.data(), numSamples);
            acc = block.data();
        }
        if (bounds.enabled)
            ModulationKernels::clamp(block.data(), bounds.minimum, bounds.maximum, numSamples);
    }
    setLastBlock(block);
    setConstant(false);
    matrix.targetValues[static_cast<std::size_t>(target)].store(block[numSamples - 1], std::memory_order_relaxed);
    return numSamples;
}

ModulationMatrix::GlobalTargetController::GlobalTargetController(GlobalModulationProducer& summed)
    : wave::Source(summed.getGraph(), NoOwnBlock), producer(summed)
{
    // Always the summed signal as it is: pulls take it without a pass
    // through here.
    handOn(&summed);
}

int ModulationMatrix::GlobalTargetController::process(wave::Block&, int numSamples, int)
{
    const wave::Block& block = producer.pull(numSamples);
    setLastBlock(block);
    setConstant(producer.isConstant());
    handOn(&producer);
    return numSamples;
}
