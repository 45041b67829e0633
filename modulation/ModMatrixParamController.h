#pragma once

#include "modulation/ModulationMatrixController.h"

class ModulationMatrixPlugin;
class ModulationSlotParameterSet;
class ModulationSlotParameterSetList;

// Slot access through the plug-in's slot parameters: every change is a
// parameter change (so the host, presets and undo see it) and reaches the
// matrix when the parameters are applied at the next block. The getters
// read the parameters, so a sequence of edits sees its own earlier steps at
// once. lock and unlock open and close an update batch of the plug-in, so a
// multi-step edit is one notification.
//
// Editor and control threads.
class ModMatrixParamController : public ModulationMatrix::Controller {
public:
    ModMatrixParamController(ModulationMatrixPlugin& plugin, ModulationMatrix& matrix,
                             ModulationSlotParameterSetList& slots);

    void lock() override;
    void unlock() override;
    bool isBypassed(int slot) override;
    bool isInverted(int slot) override;
    float getLevel(int slot) override;
    int getSource(int slot) override;
    int getTarget(int slot) override;
    // In slot order.
    void findSlotsUsingSource(int source, ModulationMatrix::SlotList& out) override;
    void findSlotsOnTarget(int target, ModulationMatrix::SlotList& out) override;
    void setBypassed(int slot, bool bypassed) override;
    void setInverted(int slot, bool inverted) override;
    void setLevel(int slot, float level) override;
    // An index outside the sources (or targets) sets none.
    void setSource(int slot, int source) override;
    void setTarget(int slot, int target) override;

private:
    ModulationSlotParameterSet* set(int slot) const;

    ModulationMatrixPlugin& plugin;
    ModulationSlotParameterSetList& slots;
};
