#pragma once

#include "framework/GenericPlugin.h"

#include <memory>
#include <string>

class ModMatrixParamController;
class ModulationMatrix;
class ModulationSlotParameterSetList;

// The base of a plug-in with a modulation matrix. It owns the slot list
// (the slots as parameters) and the parameter controller through which the
// editor and the parameter set lists change slots. The derived plug-in owns
// and builds the matrix and hands it out through getModulationMatrix.
//
// Building, in the derived constructor: create the other parameters and
// lists, call createSlotList where the slots belong in the host order, call
// initialize, build the matrix (ModulationLayout registers the targets),
// set the source outputs, call getParamController once (so it exists before
// the editor and the control thread ask for it), then applyAllParameters.
class ModulationMatrixPlugin : public GenericPlugin {
public:
    // Shown when a new connection finds every slot in use.
    static constexpr const char* noFreeSlotsMessage =
        "No free slots are available. Clear one or more slots and try again.";
    // The level a new connection starts at (the user turns it from there).
    static constexpr float newConnectionLevel = 0.5f;

    explicit ModulationMatrixPlugin(int graphBlockSize = wave::Graph::maxBlockSize);
    ~ModulationMatrixPlugin() override;

    // The plug-in's matrix; null while it is not built yet. Any thread.
    virtual ModulationMatrix* getModulationMatrix() = 0;
    // The current level (0..1) of a modulation source for the editor's
    // source buttons; 0 here.
    virtual float getSourceLevel(int source);
    // Set lists clear and renumber slots through the parameter controller;
    // null until both the slot list and the matrix exist.
    ModulationReferences* getModulationReferences() override;

    // Creates the list "Slots" once; its parameters take their host indices
    // now. Later calls return the same list.
    ModulationSlotParameterSetList& createSlotList();
    ModulationSlotParameterSetList* getSlotList() const { return slotList.get(); }
    // Made on first request and kept; null until both the slot list and the
    // matrix exist. The first request belongs in the constructor; later ones
    // come from the editor and control threads.
    ModMatrixParamController* getParamController();

    // A new connection from the editor: fills the first slot not in use
    // (the slot at the list's number of active slots) in one batch and
    // returns its index. With every slot in use nothing changes, message
    // (when given) receives noFreeSlotsMessage and the result is -1.
    int addConnection(int source, int target, std::string* message = nullptr,
                      float level = newConnectionLevel);

protected:
    // The matrix derives its slot structure once per application of
    // changes, not once per slot parameter.
    void beginApplyingChanges() override;
    void endApplyingChanges() override;

private:
    class References;

    std::unique_ptr<ModulationSlotParameterSetList> slotList;
    std::unique_ptr<ModMatrixParamController> paramController;
    std::unique_ptr<References> references;
};
