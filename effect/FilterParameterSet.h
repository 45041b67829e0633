#pragma once

#include "filters/GenericFilter.h"
#include "framework/PluginParameterSet.h"
#include "framework/PropPluginParameter.h"
#include "framework/TargetParameterSetList.h"
#include "modulation/ModulationTargetParameter.h"

#include <string>

class MultiDesignFilter;

// The parameters of one filter, "Filter n", in host order: Freq, Pan, Peak,
// Characteristic, Response, Slope, Delay, Enabled, Linked. Freq, Pan, Peak
// and Delay are modulation targets 4(n-1) .. 4(n-1) + 3: they reach the
// filters through the matrix. Characteristic, response and slope are bound
// to the filter units of every channel; Enabled and Linked are read by the
// plug-in, which drives the routing and the link groups with them.
class FilterParameterSet : public PluginParameterSet {
public:
    // Characteristic positions: ten table characteristics, then Clean.
    static constexpr int characteristicCount = 11;
    static constexpr int cleanCharacteristic = 10;
    static constexpr int defaultCharacteristic = 6; // "Gentle"
    static constexpr const char* characteristicOptions =
        "Merovance One,Smooth,Raw,Hard,Hollow,Extreme,Gentle,Tube,Metal,Easy Going,Clean";

    // index 0..3 is Filter 1..4.
    FilterParameterSet(GenericPlugin& plugin, int index);

    void configureParameters() override;
    // While building: characteristic, response and slope drive this filter
    // unit (one per channel).
    void bind(MultiDesignFilter& filter);

    int getIndex() const { return index; }

    std::string name;
    ModulationTargetParameter freq;
    ModulationTargetParameter pan;
    ModulationTargetParameter peak;
    PropPluginParameter<int> characteristic;
    PropPluginParameter<GenericFilter::Response> response;
    PropPluginParameter<GenericFilter::Slope> slope;
    ModulationTargetParameter delay;
    PropPluginParameter<bool> enabled;
    PropPluginParameter<bool> linked;

private:
    int index;
};

// The list "Filters": four filter sets, 1 to 4 in use (1 by default).
// Filter n owns modulation targets 4(n-1) .. 4(n-1) + 3.
class FilterParameterSetList : public TargetParameterSetList<FilterParameterSet> {
public:
    static constexpr const char* listName = "Filters";
    static constexpr int capacity = 4;
    static constexpr int firstTarget = 0;
    static constexpr int targetsPerSet = 4;

    // Registers "Num Active Filters" and then the four sets, and configures them.
    explicit FilterParameterSetList(GenericPlugin& plugin);
};
