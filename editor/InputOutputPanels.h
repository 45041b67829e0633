#pragma once

#include "gui/Control.h"

class OstrandInterface;
class ParameterKnob;
class PanRing;
class SelectButton;
class ToggleSwitch;

// The plates at both ends of the signal flow: the input gain with its pan
// ring on the left; the output gain with its pan ring, the effect mix, Auto
// Mute and the audition signal on the right.
class InputOutputPanels {
public:
    InputOutputPanels(gui::Control& surface, OstrandInterface& editor);

    ParameterKnob* inputGain = nullptr;
    PanRing* inputPan = nullptr;
    ParameterKnob* outputGain = nullptr;
    PanRing* outputPan = nullptr;
    ParameterKnob* mix = nullptr;
    ToggleSwitch* autoMute = nullptr;
    SelectButton* audition = nullptr;
};
