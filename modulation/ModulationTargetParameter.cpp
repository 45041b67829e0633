#include "modulation/ModulationTargetParameter.h"

#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationMatrixPlugin.h"

ModulationTargetParameter::ModulationTargetParameter(GenericParameterOwner* owner, std::string name,
                                                     GenericPlugin& owningPlugin, int targetIndex, int kind)
    : FloatPluginParameter(owner, std::move(name), kind), display(this),
      // The plug-in is being built when its parameters are: its base class
      // is complete, so the cast sees the ModulationMatrixPlugin.
      plugin(dynamic_cast<ModulationMatrixPlugin*>(&owningPlugin)), target(targetIndex)
{
}

void ModulationTargetParameter::updateProperties(float plain)
{
    if (!plugin)
        return;
    if (ModulationMatrix* matrix = plugin->getModulationMatrix())
        matrix->setBaseValue(target, targetValue(plain));
}
