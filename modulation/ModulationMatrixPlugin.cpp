#include "modulation/ModulationMatrixPlugin.h"

#include "modulation/ModulationMatrix.h"

ModulationMatrixPlugin::ModulationMatrixPlugin() = default;

ModulationMatrixPlugin::~ModulationMatrixPlugin() = default;

float ModulationMatrixPlugin::getSourceLevel(int)
{
    return 0.0f;
}
