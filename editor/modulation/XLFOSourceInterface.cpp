#include "editor/modulation/XLFOSourceInterface.h"

#include "editor/SwitchControls.h"
#include "editor/modulation/ModulationInterface.h"
#include "editor/modulation/XLFOController.h"
#include "effect/OstrandPlugin.h"

XLFOSourceInterface::XLFOSourceInterface(gui::Control& parent, ModulationInterface& modulation, int source)
    : SourceInterface(parent, modulation, source, panelWidth)
{
    setHeaderWidth(stepFrame.left - 2);
    XLFOParameterSet& set = modulation.plugin().xlfos[SourceController::placeOf(source)];
    addKnob({2, 16}, "FREQ", set.frequency);
    addKnob({44, 16}, "OFFSET", set.frequencyOffset);
    addKnob({86, 16}, "GLIDE", set.glide);
    addKnob({128, 16}, "BALANCE", set.balance);
    addSelect(gui::Rect{6, 78, 82, 92}, set.syncMode);
    addToggle(gui::Rect{86, 78, 166, 92}, "MIDI TRIG", set.midiTrigger);
    editor = &add<XLFOController>(stepFrame, stepInterfaceFrame, modulation, set);
}

void XLFOSourceInterface::update() { editor->update(); }
