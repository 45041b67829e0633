#pragma once

#include "framework/GenericPlugin.h"

class ModulationMatrix;

// The base of a plug-in with a modulation matrix. The derived plug-in owns
// and builds the matrix and hands it out through getModulationMatrix.
class ModulationMatrixPlugin : public GenericPlugin {
public:
    ModulationMatrixPlugin();
    ~ModulationMatrixPlugin() override;

    // The plug-in's matrix; null while it is not built yet. Any thread.
    virtual ModulationMatrix* getModulationMatrix() = 0;
    // The current level (0..1) of a modulation source for the editor's
    // source buttons; 0 here.
    virtual float getSourceLevel(int source);
};
