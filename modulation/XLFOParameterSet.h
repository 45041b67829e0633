#pragma once

#include "framework/LimFloatPropPluginParameter.h"
#include "framework/ParameterSetList.h"
#include "framework/PluginParameterSet.h"
#include "framework/PropPluginParameter.h"
#include "modulation/ModulationTargetParameter.h"
#include "modulation/SyncMode.h"
#include "modulation/XLFO.h"

#include <string>

class XLFOFreqController;

// The parameters of one step LFO, "XLFO n", followed in the host order by
// its step list "XLFO n Steps" (the number of steps, then sixteen steps of
// four parameters each). Frequency, frequency offset and glide are
// modulation targets 16 + 3(n-1) .. 18 + 3(n-1): they reach the XLFO through
// the matrix. The others are bound to the XLFO's and its frequency
// controller's properties by bind.
class XLFOParameterSet : public PluginParameterSet {
public:
    // One step: "XLFO n Step m Value", "Glide", "Glide function", "Random".
    class StepParameterSet : public PluginParameterSet {
    public:
        // index 0..15 is step 1..16 of the XLFO named xlfoName.
        StepParameterSet(GenericPlugin& plugin, int index, const std::string& xlfoName = "XLFO");

        void configureParameters() override;
        // While building, before the parameters are applied.
        void bind(XLFO::Step& step);

        LimFloatPropPluginParameter value;
        LimFloatPropPluginParameter glide;
        PropPluginParameter<XLFO::GlideCurve> glideFunction;
        PropPluginParameter<bool> random;
    };

    // The steps of one XLFO: 16 sets, 1 to 16 in use, 2 by default. Its
    // number of active sets is the XLFO's number of steps.
    class StepParameterSetList : public ParameterSetList<StepParameterSet> {
    public:
        StepParameterSetList(GenericPlugin& plugin, const std::string& xlfoName);
        void bind(XLFO& xlfo);
    };

    // index 0..5 is XLFO 1..6.
    XLFOParameterSet(GenericPlugin& plugin, int index);

    void configureParameters() override;
    // While building, before the parameters are applied.
    void bind(XLFO& xlfo, XLFOFreqController& controller);

    // The steps of another XLFO: their number and every step's values. (The
    // list's own copy of a set covers only the set's six parameters.)
    void copyStepsFrom(const XLFOParameterSet& other);
    // The steps back to their defaults.
    void resetSteps();
    // Files the set and its step list under a component instance (the
    // section presets of one XLFO).
    void addToComponent(GenericPlugin& plugin, int kind, int instance);

    const std::string& getName() const { return name; }
    StepParameterSetList& getSteps() { return steps; }
    const StepParameterSetList& getSteps() const { return steps; }

    std::string name;
    ModulationTargetParameter frequency;
    ModulationTargetParameter frequencyOffset;
    LimFloatPropPluginParameter balance;
    ModulationTargetParameter glide;
    PropPluginParameter<SyncMode> syncMode;
    PropPluginParameter<bool> midiTrigger;

private:
    StepParameterSetList steps;
};
