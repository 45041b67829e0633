#pragma once

#include "framework/FloatPluginParameter.h"
#include "framework/ValueDisplay.h"

class GenericPlugin;
class ModulationMatrixPlugin;

// A continuous parameter that is a modulation target. Its value reaches the
// audio not through bound properties but as the base value of its target in
// the plug-in's modulation matrix, which smooths it and adds the modulation.
//
// The value handed to the matrix is the display's internal value,
// inner(plain) × scale + offset, so every target kind's range is in the
// units the DSP wants (log2 Hz for a cut-off, a linear gain for a level);
// the text is the display's, through its outer function ("603.xxx Hz").
class ModulationTargetParameter : public FloatPluginParameter {
public:
    // target is the matrix's number for this parameter. When the plug-in is
    // not a ModulationMatrixPlugin the parameter still works as a plain
    // parameter and pushes nowhere.
    ModulationTargetParameter(GenericParameterOwner* owner, std::string name, GenericPlugin& plugin,
                              int target, int kind = 0);

    std::string valueToText(float plain) const override { return display.toText(plain); }
    // Audio thread (or while building): sets the target's base value.
    void updateProperties(float plain) override;

    // The value the matrix receives for a plain value.
    float targetValue(float plain) const { return display.propertyValue(plain); }
    int getTarget() const { return target; }
    ModulationMatrixPlugin* getPlugin() const { return plugin; }

    ValueDisplay& getDisplay() { return display; }
    const ValueDisplay& getDisplay() const { return display; }
    const ValueDisplay* getValueDisplay() const override { return &display; }
    // Shows (and hands the matrix) the parameter's range as a..b. Set the
    // range first.
    void setDisplayRange(float a, float b) { display.setDisplayRange(a, b); }

private:
    ValueDisplay display;
    ModulationMatrixPlugin* plugin;
    int target;
};
