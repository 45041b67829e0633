#pragma once

#include "gui/NotifyEvent.h"

#include <functional>
#include <vector>

namespace gui {
class ValueControl;
}
class AbstractPluginParameter;
class GenericPluginInterface;

// Ties a value control to a plug-in parameter in both directions. A change
// of the control sets the parameter (through the editor frame, which notes
// that something changed for the undo history); a change of the parameter
// from anywhere else moves the control without setting it back. A press
// brackets the edit as a gesture for the host, and the release ends it with
// an undo snapshot when the gesture changed anything.
//
// Continuous parameters map their 0..1 range onto the control's 0..steps;
// parameters with options (and switches) onto their positions, one step
// each.
//
// Under the alternate action (Alt in the default table) the parameters that
// `linked` names move with this one by the same amount of their ranges,
// each held in its own range: the linked filters follow a knob together.
class ParameterBinding {
public:
    static constexpr int continuousSteps = 4096;

    ParameterBinding(GenericPluginInterface& frame, gui::ValueControl& control, int parameterIndex);
    ~ParameterBinding();
    ParameterBinding(const ParameterBinding&) = delete;
    ParameterBinding& operator=(const ParameterBinding&) = delete;

    // Binds the control to another parameter (the filter panel shows
    // another filter); an edit in progress ends first.
    void setParameter(int parameterIndex);
    int parameterIndex() const { return index; }
    gui::ValueControl& control() const { return target; }

    // Brings the control to the parameter's value, quietly.
    void update();

    // The parameters that move with this one under the alternate action.
    std::function<std::vector<int>()> linked;

private:
    void valueChanged(gui::NotifyEvent&);
    void beginEdit(gui::NotifyEvent&);
    void endEdit(gui::NotifyEvent&);
    void finishGesture();
    AbstractPluginParameter* parameter() const;
    bool continuous() const;
    int controlValueOf(float plain) const;
    float plainOf(int controlValue) const;
    bool alternateActive() const;

    GenericPluginInterface& frame;
    gui::ValueControl& target;
    int index;
    bool updating = false;
    // The gesture in progress: its parameters and their normalized values
    // at its start (the first is this binding's own).
    std::vector<int> gesture;
    std::vector<float> gestureStart;
};
