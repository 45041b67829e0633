#pragma once

#include "editor/modulation/TargetModulation.h"
#include "gui/Control.h"

namespace gui {
class Knob;
}
class GenericPlugin;
class ParameterBinding;

// Drawn over a knob whose parameter is a modulation target: an arc over
// the part of the knob's range that the slots on the target sweep, and a
// dot at the target's live value while audio runs. The mouse passes
// through. It asks the knob's binding which parameter the knob shows, so it
// follows a knob that is bound to another filter's parameter.
class ModulationRing : public gui::Control {
public:
    // A child of `ringed`, the knob it is drawn over.
    ModulationRing(gui::Control& parent, gui::Knob& ringed, const ParameterBinding& binding, GenericPlugin& plugin,
                   const TargetModulation& modulation);

    // Reads the sweep again; redraws when it moved by a visible amount.
    void update();
    const TargetSweep& sweep() const { return shown; }
    // The radius the arc is drawn at.
    float radius() const;

    int opacityAt(gui::Point) const override { return 0; }
    void paint(gui::Canvas& canvas) override;

private:
    gui::Knob& knob;
    const ParameterBinding& binding;
    GenericPlugin& plugin;
    const TargetModulation& modulation;
    TargetSweep shown;
};
