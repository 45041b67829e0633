#pragma once

#include "framework/LimFloatPropPluginParameter.h"
#include "framework/PluginParameterSet.h"
#include "framework/PropPluginParameter.h"
#include "framework/SourceParameterSetList.h"
#include "modulation/ModulationTargetParameter.h"
#include "modulation/Triggering.h"

#include <string>

class EnvelopeGenerator;
class Trigger;

// The parameters of one envelope generator, "EG n". Attack, decay, sustain
// and release are modulation targets 34 + 4(n-1) .. 37 + 4(n-1); the
// threshold and the triggering are bound to the EG's trigger and the EG.
class EGParameterSet : public PluginParameterSet {
public:
    // index 0..5 is EG 1..6.
    EGParameterSet(GenericPlugin& plugin, int index);

    void configureParameters() override;
    // While building, before the parameters are applied.
    void bind(EnvelopeGenerator& eg, Trigger& trigger);

    std::string name;
    // The trigger receives the displayed threshold (0.3 gives 0.072).
    LimFloatPropPluginParameter threshold;
    PropPluginParameter<Triggering> triggering;
    ModulationTargetParameter attack;
    ModulationTargetParameter decay;
    ModulationTargetParameter sustain;
    ModulationTargetParameter release;
};

// The list "EGs": six EG sets, 0 to 6 in use (none by default). EG n is
// modulation source 6 + (n-1).
class EGParameterSetList : public SourceParameterSetList<EGParameterSet> {
public:
    static constexpr const char* listName = "EGs";
    static constexpr int capacity = 6;
    static constexpr int firstSource = 6;
    static constexpr int firstTarget = 34;
    static constexpr int targetsPerSet = 4;

    explicit EGParameterSetList(GenericPlugin& plugin);
};
