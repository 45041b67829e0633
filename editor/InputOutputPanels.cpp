#include "editor/InputOutputPanels.h"

#include "editor/EditorStyle.h"
#include "editor/OstrandInterface.h"
#include "editor/ParameterKnob.h"
#include "editor/SwitchControls.h"
#include "effect/OstrandPlugin.h"
#include "gui/Label.h"

InputOutputPanels::InputOutputPanels(gui::Control& surface, OstrandInterface& editor)
{
    OstrandPlugin& plugin = editor.effect();
    const gui::Bitmap& body = editor.images().knobBody;

    inputGain = &surface.add<ParameterKnob>(gui::Rect::ofSize(12, 321, 48, 57), body, "GAIN");
    inputGain->bipolar = true;
    inputPan = &surface.add<PanRing>(*inputGain);

    outputGain = &surface.add<ParameterKnob>(gui::Rect::ofSize(466, 321, 48, 57), body, "GAIN");
    outputGain->bipolar = true;
    outputPan = &surface.add<PanRing>(*outputGain);
    mix = &surface.add<ParameterKnob>(gui::Rect::ofSize(516, 321, 48, 57), body, "MIX");

    autoMute = &surface.add<ToggleSwitch>(gui::Rect::ofSize(568, 322, 60, 16), "AUTO MUTE");
    auto& auditionCaption =
        surface.add<gui::Label>(gui::Rect::ofSize(568, 343, 60, 10), "AUDITION", EditorStyle::captionFont());
    auditionCaption.colour = EditorStyle::dimText;
    audition = &surface.add<SelectButton>(gui::Rect::ofSize(568, 354, 60, 16));

    editor.bind(*inputGain, plugin.inputGain.getIndex());
    editor.bind(*inputPan, plugin.inputPan.getIndex());
    editor.bind(*outputGain, plugin.outputGain.getIndex());
    editor.bind(*outputPan, plugin.outputPan.getIndex());
    editor.bind(*mix, plugin.mix.getIndex());
    editor.bind(*autoMute, plugin.autoMute.getIndex());
    editor.bind(*audition, plugin.auditionSignal.getIndex());
}
