#include "modulation/ModulationSlotParameterSetList.h"

#include "modulation/ModulationLayout.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationMatrixPlugin.h"

#include <algorithm>

namespace {
// The option list of an indexed parameter is set from one comma-separated
// text; names that hold a comma cannot go that way.
bool joinable(const std::vector<std::string>& names, std::string& joined)
{
    joined.clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].find(',') != std::string::npos)
            return false;
        if (i > 0)
            joined += ',';
        joined += names[i];
    }
    return !names.empty();
}
} // namespace

ModulationSlotParameterSetList::ModulationSlotParameterSetList(ModulationMatrixPlugin& owner)
    : TargetParameterSetList(owner, listName, ModulationMatrix::numSlots, ModulationMatrix::firstLevelTarget,
                             1),
      matrixSet(owner)
{
    setActiveRange(0, ModulationMatrix::numSlots, 0);
    for (int i = 0; i < count(); ++i)
        (*this)[i].setNames(&matrixSet);
    setSourceNames(ModulationLayout::sourceNames());
    setTargetNames(
        ModulationLayout::targetNames(ModulationLayout::standardTargets(), ModulationMatrix::numTargets));
}

void ModulationSlotParameterSetList::setSourceNames(std::vector<std::string> names)
{
    std::string joined;
    if (!joinable(names, joined))
        joined.clear();
    for (int i = 0; i < count(); ++i)
        (*this)[i].source.setOptions(joined);
    matrixSet.setSourceNames(std::move(names));
}

void ModulationSlotParameterSetList::setTargetNames(std::vector<std::string> names)
{
    std::string joined;
    if (!joinable(names, joined))
        joined.clear();
    for (int i = 0; i < count(); ++i)
        (*this)[i].target.setOptions(joined);
    matrixSet.setTargetNames(std::move(names));
}
