#include "gui/ValueControl.h"

#include <algorithm>

namespace gui {

ValueControl::ValueControl(Control& parent, const Rect& frame) : AnimatedControl(parent, frame) {}

void ValueControl::holdValueInRange()
{
    value.setQuietly(std::clamp(value.get(), minimum.get(), maximum.get()));
    if (value != reported) {
        reported = value;
        invalidate();
        valueChanged.fire();
    }
}

void ValueControl::propertyChanged(PropertyBase& property)
{
    if (&property == &minimum) {
        if (minimum >= maximum)
            maximum.setQuietly(minimum + 1);
        holdValueInRange();
    } else if (&property == &maximum) {
        if (maximum <= minimum)
            minimum.setQuietly(maximum - 1);
        holdValueInRange();
    } else if (&property == &value) {
        holdValueInRange();
    } else {
        AnimatedControl::propertyChanged(property);
    }
}

void ValueControl::beginGesture()
{
    editing = true;
    startValue = value;
    beginEdit.fire();
}

void ValueControl::endGesture()
{
    editing = false;
    endEdit.fire();
}

void ValueControl::mouseDown(MouseButton button, Point local, int modifiers)
{
    beginGesture();
    AnimatedControl::mouseDown(button, local, modifiers);
}

void ValueControl::mouseUp(MouseButton button, Point local, int modifiers)
{
    if (editing)
        endGesture();
    AnimatedControl::mouseUp(button, local, modifiers);
}

void RolloverValueControl::mouseEntered()
{
    hovered = true;
    invalidate();
    ValueControl::mouseEntered();
}

void RolloverValueControl::mouseLeft()
{
    hovered = false;
    invalidate();
    ValueControl::mouseLeft();
}

} // namespace gui
