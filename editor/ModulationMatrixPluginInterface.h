#pragma once

#include "editor/GenericPluginInterface.h"

class ModulationMatrixPlugin;

// The frame of an editor whose plug-in has a modulation matrix: the area at
// the bottom of the editor where the modulation sources and slots live.
class ModulationMatrixPluginInterface : public GenericPluginInterface {
public:
    // Where the modulation area sits in the editor.
    static constexpr gui::Rect modulationFrame = {7, 389, 633, 517};

    ModulationMatrixPluginInterface(gui::UserInterface& ui, ModulationMatrixPlugin& plugin);

    ModulationMatrixPlugin& matrixPlugin() const { return matrixOwner; }
    // The area's control; its panels are its children.
    gui::Control& modulationArea() const { return *area; }

private:
    ModulationMatrixPlugin& matrixOwner;
    gui::Control* area = nullptr;
};
