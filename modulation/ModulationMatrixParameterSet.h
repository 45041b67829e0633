#pragma once

#include "framework/PluginParameterSet.h"

#include <string>
#include <vector>

// What all modulation slots share: the option names of their Source and
// Target parameters, filled by the plug-in ("< Source >", "XLFO 1", ... and
// "< Target >", "Filter 1 Freq", ...). It owns no parameters.
class ModulationMatrixParameterSet : public PluginParameterSet {
public:
    explicit ModulationMatrixParameterSet(GenericPlugin& plugin) : PluginParameterSet(plugin) {}

    void setSourceNames(std::vector<std::string> names) { sourceNames = std::move(names); }
    void setTargetNames(std::vector<std::string> names) { targetNames = std::move(names); }
    const std::vector<std::string>& getSourceNames() const { return sourceNames; }
    const std::vector<std::string>& getTargetNames() const { return targetNames; }

    // The name at option position p, or null when the list has none there.
    static const std::string* nameAt(const std::vector<std::string>& names, int position)
    {
        return position >= 0 && position < static_cast<int>(names.size())
                   ? &names[static_cast<std::size_t>(position)]
                   : nullptr;
    }

private:
    std::vector<std::string> sourceNames;
    std::vector<std::string> targetNames;
};
