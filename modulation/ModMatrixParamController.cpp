#include "modulation/ModMatrixParamController.h"

#include "modulation/ModulationMatrixPlugin.h"
#include "modulation/ModulationSlotParameterSetList.h"

ModMatrixParamController::ModMatrixParamController(ModulationMatrixPlugin& owner, ModulationMatrix& m,
                                                   ModulationSlotParameterSetList& list)
    : Controller(m), plugin(owner), slots(list)
{
}

ModulationSlotParameterSet* ModMatrixParamController::set(int slot) const
{
    return slots.get(slot);
}

void ModMatrixParamController::lock()
{
    plugin.beginBatch();
}

void ModMatrixParamController::unlock()
{
    plugin.endBatch();
}

bool ModMatrixParamController::isBypassed(int slot)
{
    const auto* s = set(slot);
    return s && s->bypass.getTypedValue();
}

bool ModMatrixParamController::isInverted(int slot)
{
    const auto* s = set(slot);
    return s && s->invert.getTypedValue();
}

float ModMatrixParamController::getLevel(int slot)
{
    const auto* s = set(slot);
    return s ? s->level.getValue() : 0.0f;
}

int ModMatrixParamController::getSource(int slot)
{
    const auto* s = set(slot);
    return s ? s->source.getSource() : ModulationMatrix::none;
}

int ModMatrixParamController::getTarget(int slot)
{
    const auto* s = set(slot);
    return s ? s->target.getTarget() : ModulationMatrix::none;
}

void ModMatrixParamController::findSlotsUsingSource(int source, ModulationMatrix::SlotList& out)
{
    out.clear();
    if (source == ModulationMatrix::none)
        return;
    for (int i = 0; i < slots.count(); ++i)
        if (getSource(i) == source)
            out.push_back(i);
}

void ModMatrixParamController::findSlotsOnTarget(int target, ModulationMatrix::SlotList& out)
{
    out.clear();
    if (target == ModulationMatrix::none)
        return;
    for (int i = 0; i < slots.count(); ++i)
        if (getTarget(i) == target)
            out.push_back(i);
}

void ModMatrixParamController::setBypassed(int slot, bool bypassed)
{
    if (auto* s = set(slot))
        s->bypass.setValue(static_cast<float>(s->bypass.positionOf(bypassed)), 0);
}

void ModMatrixParamController::setInverted(int slot, bool inverted)
{
    if (auto* s = set(slot))
        s->invert.setValue(static_cast<float>(s->invert.positionOf(inverted)), 0);
}

void ModMatrixParamController::setLevel(int slot, float level)
{
    if (auto* s = set(slot))
        s->level.setValue(level, 0);
}

void ModMatrixParamController::setSource(int slot, int source)
{
    if (!ModulationMatrix::isSource(source))
        source = ModulationMatrix::none;
    if (auto* s = set(slot))
        s->source.setValue(static_cast<float>(s->source.positionOf(source + 1)), 0);
}

void ModMatrixParamController::setTarget(int slot, int target)
{
    if (!ModulationMatrix::isTarget(target))
        target = ModulationMatrix::none;
    if (auto* s = set(slot))
        s->target.setValue(static_cast<float>(s->target.positionOf(target + 1)), 0);
}
