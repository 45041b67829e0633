#include "modulation/ModulationMatrixController.h"

#include <climits>
#include <utility>

ModulationMatrix::Controller::Controller(ModulationMatrix& owner) : matrix(owner) {}

ModulationMatrix::Controller::~Controller() = default;

void ModulationMatrix::Controller::clearSlot(int slot, SlotList* cleared)
{
    Lock lock(*this);
    clearSlotLocked(slot, cleared, 0);
}

void ModulationMatrix::Controller::clearSlotLocked(int slot, SlotList* cleared, int depth)
{
    // Each slot is emptied before the slots aimed at its level are visited,
    // so even a ring of slots modulating each other's levels ends; the depth
    // bound is a second line of defence.
    if (!isSlot(slot) || depth > numSlots)
        return;
    setSource(slot, none);
    setTarget(slot, none);
    setBypassed(slot, false);
    setInverted(slot, false);
    setLevel(slot, 0.0f);
    if (cleared && !cleared->contains(slot))
        cleared->push_back(slot);
    const int level = matrix.getSlot(slot).levelTarget;
    if (!isTarget(level))
        return;
    SlotList nested;
    findSlotsOnTarget(level, nested);
    for (int j : nested)
        clearSlotLocked(j, cleared, depth + 1);
}

void ModulationMatrix::Controller::clearSlotsOfSource(int source)
{
    Lock lock(*this);
    SlotList found;
    findSlotsUsingSource(source, found);
    for (int slot : found)
        clearSlotLocked(slot, nullptr, 0);
    if (!isSource(source))
        return;
    // Batches nest, so this stays one batch.
    for (int own : matrix.getSourceEntry(source).ownTargets)
        clearSlotsOnTarget(own);
}

void ModulationMatrix::Controller::clearSlotsOnTarget(int target)
{
    Lock lock(*this);
    SlotList found;
    findSlotsOnTarget(target, found);
    for (int slot : found)
        clearSlotLocked(slot, nullptr, 0);
}

void ModulationMatrix::Controller::sortSlots(int count, int* selected)
{
    if (count > numSlots)
        count = numSlots;
    // Empty fields sort last.
    auto key = [this](int slot) {
        const int source = getSource(slot);
        const int target = getTarget(slot);
        return std::pair(source == none ? INT_MAX : source, target == none ? INT_MAX : target);
    };
    for (int i = 0; i + 1 < count; ++i) {
        for (int j = i; j >= 0; --j) {
            const int k = j + 1;
            if (!(key(k) < key(j)))
                break;
            swapSlots(j, k);
            if (selected && *selected == j)
                *selected = k;
            else if (selected && *selected == k)
                *selected = j;
        }
    }
}

void ModulationMatrix::Controller::swapSlots(int a, int b)
{
    if (!isSlot(a) || !isSlot(b) || a == b)
        return;
    Lock lock(*this);
    const int sourceA = getSource(a), targetA = getTarget(a);
    const bool invertedA = isInverted(a), bypassedA = isBypassed(a);
    const float levelA = getLevel(a);

    setSource(a, getSource(b));
    setTarget(a, getTarget(b));
    setInverted(a, isInverted(b));
    setBypassed(a, isBypassed(b));
    setLevel(a, getLevel(b));
    setSource(b, sourceA);
    setTarget(b, targetA);
    setInverted(b, invertedA);
    setBypassed(b, bypassedA);
    setLevel(b, levelA);

    // Modulation of a slot's level follows the slot to its new place. Both
    // lists are taken before either is changed.
    const int levelOfA = matrix.getSlot(a).levelTarget;
    const int levelOfB = matrix.getSlot(b).levelTarget;
    if (!isTarget(levelOfA) || !isTarget(levelOfB))
        return;
    SlotList onA, onB;
    findSlotsOnTarget(levelOfA, onA);
    findSlotsOnTarget(levelOfB, onB);
    for (int slot : onA)
        setTarget(slot, levelOfB);
    for (int slot : onB)
        setTarget(slot, levelOfA);
}

void ModulationMatrix::Controller::connect(int slot, int source, int target, bool inverted, bool bypassed,
                                           float level)
{
    if (!isSlot(slot))
        return;
    Lock lock(*this);
    setSource(slot, source);
    setTarget(slot, target);
    setInverted(slot, inverted);
    setBypassed(slot, bypassed);
    setLevel(slot, level);
}

void ModulationMatrix::Controller::addToClosure(int target)
{
    if (!isTarget(target) || inClosure[static_cast<std::size_t>(target)])
        return;
    inClosure[static_cast<std::size_t>(target)] = true;
    closure.push_back(target);
}

const ModulationMatrix::TargetList& ModulationMatrix::Controller::collectClosure(int slot)
{
    for (int t : closure)
        inClosure[static_cast<std::size_t>(t)] = false;
    closure.clear();
    if (!isSlot(slot))
        return closure;

    // Worklist form of the recursive visit: a slot contributes its level and
    // its source's own targets; every slot aimed at a newly reached target is
    // visited in turn. Each slot is visited once, so the list never overflows.
    std::array<bool, numSlots> visited{};
    SlotList pending, aimed;
    pending.push_back(slot);
    visited[static_cast<std::size_t>(slot)] = true;
    std::size_t next = 0;
    std::size_t scanned = 0; // closure entries whose slots were queued
    while (next < pending.size()) {
        const int j = pending[next++];
        addToClosure(matrix.getSlot(j).levelTarget);
        const int source = getSource(j);
        if (isSource(source))
            for (int own : matrix.getSourceEntry(source).ownTargets)
                addToClosure(own);
        for (; scanned < closure.size(); ++scanned) {
            findSlotsOnTarget(closure[scanned], aimed);
            for (int k : aimed) {
                if (!visited[static_cast<std::size_t>(k)]) {
                    visited[static_cast<std::size_t>(k)] = true;
                    pending.push_back(k);
                }
            }
        }
    }
    return closure;
}

bool ModulationMatrix::Controller::isValidConnection(int slot)
{
    if (!isSlot(slot))
        return false;
    const int target = getTarget(slot);
    if (!isTarget(matrix.getSlot(slot).levelTarget) || !isSource(getSource(slot)) || !isTarget(target) ||
        isBypassed(slot))
        return false;
    collectClosure(slot);
    return !inClosure[static_cast<std::size_t>(target)];
}
