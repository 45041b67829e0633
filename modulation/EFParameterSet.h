#pragma once

#include "framework/PluginParameterSet.h"
#include "framework/PropPluginParameter.h"
#include "framework/SourceParameterSetList.h"
#include "modulation/ModulationTargetParameter.h"

#include <string>

// The parameters of one envelope follower, "EF n". Attack and release are
// modulation targets 58 + 2(n-1) and 59 + 2(n-1). The input choice
// ("Normal Input,Side Chain") is read by the effect, which routes the
// follower's audio accordingly (bind it to the router's selection).
class EFParameterSet : public PluginParameterSet {
public:
    enum InputChoice { normalInput = 0, sideChain = 1 };

    // index 0..3 is EF 1..4.
    EFParameterSet(GenericPlugin& plugin, int index);

    void configureParameters() override;

    std::string name;
    PropPluginParameter<int> input;
    ModulationTargetParameter attack;
    ModulationTargetParameter release;
};

// The list "EFs": four EF sets, 0 to 4 in use (none by default). EF n is
// modulation source 12 + (n-1).
class EFParameterSetList : public SourceParameterSetList<EFParameterSet> {
public:
    static constexpr const char* listName = "EFs";
    static constexpr int capacity = 4;
    static constexpr int firstSource = 12;
    static constexpr int firstTarget = 58;
    static constexpr int targetsPerSet = 2;

    explicit EFParameterSetList(GenericPlugin& plugin);
};
