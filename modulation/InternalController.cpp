#include "modulation/InternalController.h"

bool InternalController::isBypassed(int slot)
{
    return ModulationMatrix::isSlot(slot) && matrix.getSlot(slot).bypassed;
}

bool InternalController::isInverted(int slot)
{
    return ModulationMatrix::isSlot(slot) && matrix.getSlot(slot).inverted;
}

float InternalController::getLevel(int slot)
{
    if (!ModulationMatrix::isSlot(slot))
        return 0.0f;
    const int level = matrix.getSlot(slot).levelTarget;
    return ModulationMatrix::isTarget(level) ? matrix.getTargetEntry(level).base : 0.0f;
}

int InternalController::getSource(int slot)
{
    return ModulationMatrix::isSlot(slot) ? matrix.getSlot(slot).source : ModulationMatrix::none;
}

int InternalController::getTarget(int slot)
{
    return ModulationMatrix::isSlot(slot) ? matrix.getSlot(slot).target : ModulationMatrix::none;
}

void InternalController::findSlotsUsingSource(int source, ModulationMatrix::SlotList& out)
{
    out.clear();
    if (!ModulationMatrix::isSource(source))
        return;
    for (const ModulationMatrix::Slot* s : matrix.getSourceEntry(source).slots)
        out.push_back(s->index);
}

void InternalController::findSlotsOnTarget(int target, ModulationMatrix::SlotList& out)
{
    out.clear();
    if (!ModulationMatrix::isTarget(target))
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
