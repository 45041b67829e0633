#include "editor/FilterPanel.h"

#include "editor/EditorStyle.h"
#include "editor/OstrandInterface.h"
#include "editor/ParameterBinding.h"
#include "editor/ParameterKnob.h"
#include "editor/SwitchControls.h"
#include "effect/FilterParameterSet.h"
#include "gui/Label.h"

#include <string>

OstrandFilterButton::OstrandFilterButton(gui::Control& parent, const gui::Rect& frame, int filter)
    : EditorButton(parent, frame, std::to_string(filter + 1)), number(filter)
{
    tint = EditorStyle::filterColours[static_cast<std::size_t>(filter)];
    hint = "Click a filter's button to show its settings; click the button of the filter shown to switch the "
           "filter on or off.";
}

FilterPanel::FilterPanel(gui::Control& parent, OstrandInterface& ostrand, FilterParameterSetList& filters)
    : gui::Control(parent, area), editor(ostrand), filterList(filters)
{
    const gui::Bitmap& body = editor.images().knobBody;
    for (int i = 0; i < 4; ++i) {
        auto& button = add<OstrandFilterButton>(gui::Rect::ofSize(5 + 24 * i, 3, 22, 16), i);
        button.clicked.addHandler([this, i](gui::NotifyEvent&) { editor.filterButtonClicked(i); });
        filterButtons[static_cast<std::size_t>(i)] = &button;
    }
    addFilter = &add<EditorButton>(gui::Rect::ofSize(101, 3, 18, 16), "+");
    addFilter->hint = "The Add Filter button adds a filter with the settings of the filter shown. Up to four filters "
                      "can be used.";
    addFilter->clicked.addHandler([this](gui::NotifyEvent&) { editor.addFilter(); });
    removeFilter = &add<EditorButton>(gui::Rect::ofSize(121, 3, 18, 16), "\xE2\x88\x92");
    removeFilter->hint = "The Remove Filter button removes the filter shown. The last filter cannot be removed.";
    removeFilter->clicked.addHandler([this](gui::NotifyEvent&) { editor.removeFilter(); });

    characteristic = &add<SelectButton>(gui::Rect::ofSize(153, 3, 102, 16));
    freq = &add<ParameterKnob>(gui::Rect::ofSize(3, 20, 48, 57), body, "FREQ");
    peak = &add<ParameterKnob>(gui::Rect::ofSize(53, 20, 48, 57), body, "PEAK");
    delay = &add<ParameterKnob>(gui::Rect::ofSize(103, 20, 48, 57), body, "DELAY");
    pan = &add<PanRing>(*freq);
    response = &add<SegmentedSwitch>(gui::Rect::ofSize(154, 25, 66, 16), std::vector<std::string>{"LP", "HP", "BP"});
    slope = &add<SegmentedSwitch>(gui::Rect::ofSize(154, 47, 66, 16), std::vector<std::string>{"12", "24", "48"});
    auto& unit = add<gui::Label>(gui::Rect::ofSize(154, 64, 66, 11), "dB/oct", EditorStyle::captionFont());
    unit.align = gui::Align::Center;
    unit.colour = EditorStyle::faintText;
    enabledSwitch = &add<ToggleSwitch>(gui::Rect::ofSize(223, 25, 36, 16), "ON");
    linkedSwitch = &add<ToggleSwitch>(gui::Rect::ofSize(223, 47, 36, 16), "LINK");

    // Bound to filter 1 first; showFilter moves them.
    const FilterParameterSet& first = filterList[0];
    bindings = {&editor.bind(*freq, first.freq.getIndex()),
                &editor.bind(*pan, first.pan.getIndex()),
                &editor.bind(*peak, first.peak.getIndex()),
                &editor.bind(*characteristic, first.characteristic.getIndex()),
                &editor.bind(*response, first.response.getIndex()),
                &editor.bind(*slope, first.slope.getIndex()),
                &editor.bind(*delay, first.delay.getIndex()),
                &editor.bind(*enabledSwitch, first.enabled.getIndex()),
                &editor.bind(*linkedSwitch, first.linked.getIndex())};
    // Freq, Pan and Peak move the linked filters' too under the alternate
    // action.
    for (int which = 0; which < 3; ++which)
        bindings[static_cast<std::size_t>(which)]->linked = [this, which] {
            return editor.linkedParameters(shown, which);
        };
    showFilter(0);
}

void FilterPanel::showFilter(int n)
{
    const FilterParameterSet* set = filterList.get(n);
    if (!set)
        return;
    shown = n;
    const int indices[] = {set->freq.getIndex(),     set->pan.getIndex(),   set->peak.getIndex(),
                           set->characteristic.getIndex(), set->response.getIndex(), set->slope.getIndex(),
                           set->delay.getIndex(),    set->enabled.getIndex(), set->linked.getIndex()};
    for (std::size_t i = 0; i < bindings.size(); ++i)
        bindings[i]->setParameter(indices[i]);
    const gui::Pixel colour = EditorStyle::filterColours[static_cast<std::size_t>(n)];
    freq->colour = colour;
    peak->colour = colour;
    delay->colour = colour;
    freq->invalidate();
    pan->invalidate();
    peak->invalidate();
    delay->invalidate();
    updateButtons();
}

void FilterPanel::updateButtons()
{
    const int count = filterList.getNumActive();
    for (int i = 0; i < 4; ++i) {
        OstrandFilterButton& button = *filterButtons[static_cast<std::size_t>(i)];
        button.visible = i < count;
        button.lit = i == shown;
        button.dimmed = filterList[i].enabled.getValue() < 0.5f;
    }
    addFilter->enabled = count < filterList.getMaxActive();
    removeFilter->enabled = count > filterList.getMinActive();
}
