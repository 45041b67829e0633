#include "modulation/ModulationSlotParameterSet.h"

#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationMatrixParameterSet.h"
#include "modulation/ModulationMatrixPlugin.h"

namespace {
std::string slotName(int slot, const char* field)
{
    return "Slot " + std::to_string(slot + 1) + field;
}
} // namespace

ModulationSlotParameterSet::ModulationSlotParameterSet(GenericPlugin& owner, int slotIndex)
    : PluginParameterSet(owner), matrixPlugin(dynamic_cast<ModulationMatrixPlugin*>(&owner)), slot(slotIndex),
      source(*this, slotName(slotIndex, " Source")),
      level(this, slotName(slotIndex, " Level"), owner, ModulationMatrix::firstLevelTarget + slotIndex),
      bypass(*this, slotName(slotIndex, " Bypassed")), invert(*this, slotName(slotIndex, " Inverted")),
      target(*this, slotName(slotIndex, " Target"))
{
}

void ModulationSlotParameterSet::configureParameters()
{
    source.setRange(0, ModulationMatrix::numSources);
    source.setDefaultValue(0);
    source.resetToDefault();
    level.setRange(0.0f, 1.0f);
    level.setDefault(0.0f);
    level.resetToDefault();
    bypass.setOptions("Normal,Bypassed");
    bypass.setDefaultValue(false);
    bypass.resetToDefault();
    invert.setOptions("Normal,Inverted");
    invert.setDefaultValue(false);
    invert.resetToDefault();
    target.setRange(0, ModulationMatrix::numTargets);
    target.setDefaultValue(0);
    target.resetToDefault();
}

ModulationMatrix* ModulationSlotParameterSet::getMatrix() const
{
    return matrixPlugin ? matrixPlugin->getModulationMatrix() : nullptr;
}

void ModulationSlotParameterSet::SourceParameter::updateProperties(float plain)
{
    if (ModulationMatrix* m = matrix())
        m->setSlotSource(getSlotIndex(), valueAt(toInt(plain)) - 1);
}

std::string ModulationSlotParameterSet::SourceParameter::valueToText(float plain) const
{
    if (const ModulationMatrixParameterSet* shared = getSet().getNames())
        if (const std::string* name =
                ModulationMatrixParameterSet::nameAt(shared->getSourceNames(), toInt(plain)))
            return *name;
    return Parameter::valueToText(plain);
}

void ModulationSlotParameterSet::TargetParameter::updateProperties(float plain)
{
    if (ModulationMatrix* m = matrix())
        m->setSlotTarget(getSlotIndex(), valueAt(toInt(plain)) - 1);
}

std::string ModulationSlotParameterSet::TargetParameter::valueToText(float plain) const
{
    if (const ModulationMatrixParameterSet* shared = getSet().getNames())
        if (const std::string* name =
                ModulationMatrixParameterSet::nameAt(shared->getTargetNames(), toInt(plain)))
            return *name;
    return Parameter::valueToText(plain);
}

void ModulationSlotParameterSet::BypassParameter::updateProperties(float plain)
{
    if (ModulationMatrix* m = matrix())
        m->setSlotBypassed(getSlotIndex(), valueAt(toInt(plain)));
}

void ModulationSlotParameterSet::InvertParameter::updateProperties(float plain)
{
    if (ModulationMatrix* m = matrix())
        m->setSlotInverted(getSlotIndex(), valueAt(toInt(plain)));
}
