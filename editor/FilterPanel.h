#pragma once

#include "editor/EditorButton.h"
#include "gui/Control.h"

#include <array>
#include <vector>

class FilterParameterSetList;
class OstrandInterface;
class ParameterBinding;
class ParameterKnob;
class PanRing;
class SegmentedSwitch;
class SelectButton;
class ToggleSwitch;

// A filter's button beside the display: its number in the filter's colour,
// lit while its filter is the active one, dimmed while it is switched off.
class OstrandFilterButton : public EditorButton {
public:
    OstrandFilterButton(gui::Control& parent, const gui::Rect& frame, int filter);
    int filter() const { return number; }

private:
    int number;
};

// The panel of the active filter, between the input and the routing: the
// filter buttons with Add Filter and Remove Filter, the characteristic, the
// Freq knob with its pan ring, Peak, Delay, response and slope, and the
// Enabled and Linked switches. Its controls are bound to the active
// filter's parameters and follow when another filter becomes active.
class FilterPanel : public gui::Control {
public:
    static constexpr gui::Rect area = {71, 302, 332, 381};

    FilterPanel(gui::Control& parent, OstrandInterface& editor, FilterParameterSetList& filters);

    std::array<OstrandFilterButton*, 4> filterButtons{};
    EditorButton* addFilter = nullptr;
    EditorButton* removeFilter = nullptr;
    SelectButton* characteristic = nullptr;
    ParameterKnob* freq = nullptr;
    PanRing* pan = nullptr;
    ParameterKnob* peak = nullptr;
    ParameterKnob* delay = nullptr;
    SegmentedSwitch* response = nullptr;
    SegmentedSwitch* slope = nullptr;
    ToggleSwitch* enabledSwitch = nullptr;
    ToggleSwitch* linkedSwitch = nullptr;

    // Binds the controls to filter `n` and updates the buttons.
    void showFilter(int n);
    // The buttons: which filters exist, which is active, which are off.
    void updateButtons();

private:
    OstrandInterface& editor;
    FilterParameterSetList& filterList;
    std::vector<ParameterBinding*> bindings; // in the order of the filter's parameters below
    int shown = -1;
};
