#pragma once

#include "editor/ParameterControl.h"
#include "gui/ValueControl.h"

#include <memory>
#include <string>
#include <vector>

namespace gui {
class Text;
}

// The value controls with a few positions: switches that flip, segments that
// pick one of their captions, and a button that shows the current option and
// lists all of them. Each edits through the value model (a press begins the
// edit, the release sets the value and ends it), so bindings, the host's
// gestures and the undo history see them as they see knobs. The wheel steps
// through the positions.

// Base of the three: hover, pressed state and the wheel.
class PositionControl : public gui::ValueControl, public ParameterControl {
public:
    PositionControl(gui::Control& parent, const gui::Rect& frame);

    void mouseEntered() override;
    void mouseLeft() override;
    void mouseWheel(gui::Point local, int modifiers, float amount) override;

protected:
    gui::Text& text() { return *label; }
    bool isHovered() const { return hovered; }

private:
    std::unique_ptr<gui::Text> label;
    bool hovered = false;
};

// On or off, its caption lit while on.
class ToggleSwitch : public PositionControl {
public:
    ToggleSwitch(gui::Control& parent, const gui::Rect& frame, const std::string& caption);

    Property<std::string> caption{this};
    bool on() const { return value == maximum; }

    void paint(gui::Canvas& canvas) override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;
};

// One segment per position, side by side; the current one lit.
class SegmentedSwitch : public PositionControl {
public:
    SegmentedSwitch(gui::Control& parent, const gui::Rect& frame, std::vector<std::string> captions);

    // The segment under a point, or -1.
    int segmentAt(gui::Point local) const;
    // Segments stacked top to bottom instead of side by side.
    bool vertical = false;

    void paint(gui::Canvas& canvas) override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;

private:
    std::vector<std::string> captions;
};

// Shows the option in force; a click lists all options in a menu below it.
class SelectButton : public PositionControl {
public:
    SelectButton(gui::Control& parent, const gui::Rect& frame);

    void parameterBound(const AbstractPluginParameter& parameter) override;
    void valueTextChanged(const std::string& text) override;

    void paint(gui::Canvas& canvas) override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;

private:
    std::vector<std::string> options;
    std::string shown;
};
