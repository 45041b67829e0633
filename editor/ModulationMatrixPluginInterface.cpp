#include "editor/ModulationMatrixPluginInterface.h"

#include "gui/Control.h"
#include "modulation/ModulationMatrixPlugin.h"

ModulationMatrixPluginInterface::ModulationMatrixPluginInterface(gui::UserInterface& ui, ModulationMatrixPlugin& plugin)
    : GenericPluginInterface(ui, plugin), matrixOwner(plugin)
{
    area = &surface().add<gui::Control>(modulationFrame);
}
