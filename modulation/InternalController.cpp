#include "modulation/InternalController.h"

namespace {
bool validSlot(int slot)
{
    return slot >= 0 && slot < ModulationMatrix::numSlots;
}
} // namespace

bool InternalController::isBypassed(int slot)
{
    return validSlot(slot) && matrix.getSlot(slot).bypassed;
}

bool InternalController::isInverted(int slot)
{
    return validSlot(slot) && matrix.getSlot(slot).inverted;
}

float InternalController::getLevel(int slot)
{
    if (!validSlot(slot))
        return 0.0f;
    const int level = matrix.getSlot(slot).levelTarget;
    return level >= 0 && level < ModulationMatrix::numTargets ? matrix.getTargetEntry(level).base : 0.0f;
}

int InternalController::getSource(int slot)
{
    return validSlot(slot) ? matrix.getSlot(slot).source : -1;
}

int InternalController::getTarget(int slot)
{
    return validSlot(slot) ? matrix.getSlot(slot).target : -1;
}

void InternalController::findSlotsUsingSource(int source, ModulationMatrix::SlotList& out)
{
    out.clear();
    if (source < 0 || source >= ModulationMatrix::numSources)
        return;
    for (const ModulationMatrix::Slot* s : matrix.getSourceEntry(source).slots)
        out.push_back(s->index);
}

void InternalController::findSlotsOnTarget(int target, ModulationMatrix::SlotList& out)
{
    out.clear();
    if (target < 0 || target >= ModulationMatrix::numTargets)
        return;
    for (const ModulationMatrix::Slot* s : matrix.getTargetEntry(target).slots)
        out.push_back(s->index);
}

void InternalController::setBypassed(int slot, bool bypassed)
{
    matrix.setSlotBypassed(slot, bypassed);
}

void InternalController::setInverted(int slot, bool inverted)
{
    matrix.setSlotInverted(slot, inverted);
}

void InternalController::setLevel(int slot, float level)
{
    matrix.setSlotLevel(slot, level);
}

void InternalController::setSource(int slot, int source)
{
    matrix.setSlotSource(slot, source);
}

void InternalController::setTarget(int slot, int target)
{
    matrix.setSlotTarget(slot, target);
}
