#pragma once

#include "framework/TargetParameterSetList.h"
#include "modulation/ModulationMatrixParameterSet.h"
#include "modulation/ModulationSlotParameterSet.h"

#include <string>
#include <vector>

class ModulationMatrixPlugin;

// The list "Slots": 24 slot sets, of which 0 to 24 are in use (none by
// default). Slot i's level is modulation target 71 + i, so removing a slot
// drops the modulation of its level and moves the modulation of the later
// slots' levels down with them. Also holds the option names all slots share.
class ModulationSlotParameterSetList : public TargetParameterSetList<ModulationSlotParameterSet> {
public:
    static constexpr const char* listName = "Slots";

    // Registers "Num Active Slots" and the parameters of the 24 sets with
    // the plug-in, in that order. The option names start as the standard
    // ones of ModulationLayout.
    explicit ModulationSlotParameterSetList(ModulationMatrixPlugin& plugin);

    ModulationMatrixParameterSet& getMatrixParameterSet() { return matrixSet; }
    const ModulationMatrixParameterSet& getMatrixParameterSet() const { return matrixSet; }
    // The names of option positions 0..26 and 0..95; position 0 is none.
    // Also given to every slot's parameters as their option list, for hosts
    // that list options, when no name holds a comma.
    void setSourceNames(std::vector<std::string> names);
    void setTargetNames(std::vector<std::string> names);

private:
    ModulationMatrixParameterSet matrixSet;
};
