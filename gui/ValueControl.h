#pragma once

#include "gui/AnimatedControl.h"

namespace gui {

// The value model that knobs, sliders and value buttons share: an integer
// value between a minimum and a maximum, with a default. A bound that
// crosses the other pushes it along (minimum 10 on a maximum of 5 makes the
// maximum 11); the value is held in range whenever it or a bound changes.
// Every property may be bound to a parameter; a change of the value raises
// valueChanged. A press starts an edit (beginEdit) and the release ends it
// (endEdit), so listeners can bracket a gesture.
class ValueControl : public AnimatedControl {
public:
    ValueControl(Control& parent, const Rect& frame);

    Property<int> maximum{this, 4096};
    Property<int> minimum{this, 0};
    Property<int> value{this, 0};
    Property<int> defaultValue{this, 0};

    int range() const { return maximum - minimum; }
    // Adds whole steps to the value (held in range).
    void step(int steps) { value = value + steps; }

    bool isEditing() const { return editing; }
    int editStartValue() const { return startValue; }

    NotifyEvent valueChanged{this};
    NotifyEvent beginEdit{this};
    NotifyEvent endEdit{this};

    void propertyChanged(PropertyBase& property) override;
    void mouseDown(MouseButton button, Point local, int modifiers) override;
    void mouseUp(MouseButton button, Point local, int modifiers) override;

protected:
    // A gesture outside a press (a wheel turn) is bracketed the same way.
    void beginGesture();
    void endGesture();

private:
    void holdValueInRange();

    int reported = 0; // the value listeners last heard of
    bool editing = false;
    int startValue = 0;
};

// A value control that knows whether the mouse is over it, for drawing.
class RolloverValueControl : public ValueControl {
public:
    using ValueControl::ValueControl;

    bool rollover() const { return hovered; }
    void mouseEntered() override;
    void mouseLeft() override;

private:
    bool hovered = false;
};

} // namespace gui
