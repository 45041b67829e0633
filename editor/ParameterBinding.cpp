#include "editor/ParameterBinding.h"

#include "editor/GenericPluginInterface.h"
#include "editor/ParameterControl.h"
#include "framework/AbstractPluginParameter.h"
#include "gui/Knob.h"

#include <algorithm>
#include <cmath>

ParameterBinding::ParameterBinding(GenericPluginInterface& editor, gui::ValueControl& control, int parameterIndex)
    : frame(editor), target(control), index(-1)
{
    target.valueChanged.addHandler(this, &ParameterBinding::valueChanged);
    target.beginEdit.addHandler(this, &ParameterBinding::beginEdit);
    target.endEdit.addHandler(this, &ParameterBinding::endEdit);
    if (auto* knob = dynamic_cast<gui::Knob*>(&target))
        knob->alternateAction.addHandler([this](gui::NotifyEvent&) {
            // Alt pressed during the drag: the linked parameters join from
            // where they are now.
            if (gesture.empty() || !linked)
                return;
            for (int other : linked())
                if (other != index && std::find(gesture.begin(), gesture.end(), other) == gesture.end()) {
                    frame.beginEdit(other);
                    gesture.push_back(other);
                    gestureStart.push_back(0.0f);
                }
            for (std::size_t i = 0; i < gesture.size(); ++i)
                if (const AbstractPluginParameter* p = frame.plugin().getParameter(gesture[i]))
                    gestureStart[i] = p->getNormalized();
        });
    setParameter(parameterIndex);
}

ParameterBinding::~ParameterBinding()
{
    target.valueChanged.removeHandler(this, &ParameterBinding::valueChanged);
    target.beginEdit.removeHandler(this, &ParameterBinding::beginEdit);
    target.endEdit.removeHandler(this, &ParameterBinding::endEdit);
}

AbstractPluginParameter* ParameterBinding::parameter() const { return frame.plugin().getParameter(index); }

bool ParameterBinding::continuous() const
{
    const AbstractPluginParameter* p = parameter();
    return p && !p->isEnumerated();
}

void ParameterBinding::setParameter(int parameterIndex)
{
    if (parameterIndex == index)
        return;
    finishGesture();
    index = parameterIndex;
    AbstractPluginParameter* p = parameter();
    updating = true;
    if (!p) {
        target.enabled = false;
    } else {
        target.enabled = true;
        if (continuous()) {
            target.minimum = 0;
            target.maximum = continuousSteps;
        } else {
            // Held so that setting one bound never pushes the other.
            target.minimum = std::min(target.minimum.get(), static_cast<int>(std::lround(p->getMin())));
            target.maximum = static_cast<int>(std::lround(p->getMax()));
            target.minimum = static_cast<int>(std::lround(p->getMin()));
        }
        target.defaultValue = controlValueOf(p->getDefault());
        target.hint = p->getHelpText();
        if (auto* view = dynamic_cast<ParameterControl*>(&target))
            view->parameterBound(*p);
    }
    updating = false;
    update();
}

int ParameterBinding::controlValueOf(float plain) const
{
    const AbstractPluginParameter* p = parameter();
    if (!p)
        return 0;
    if (continuous())
        return static_cast<int>(std::lround(static_cast<double>(p->normalize(plain)) * continuousSteps));
    return static_cast<int>(std::lround(plain));
}

float ParameterBinding::plainOf(int controlValue) const
{
    const AbstractPluginParameter* p = parameter();
    if (!p)
        return 0.0f;
    if (continuous())
        return p->denormalize(static_cast<float>(static_cast<double>(controlValue) / continuousSteps));
    return static_cast<float>(controlValue);
}

void ParameterBinding::update()
{
    const AbstractPluginParameter* p = parameter();
    if (!p)
        return;
    // The user's hand wins over whatever else moves the parameter meanwhile.
    if (!target.isEditing()) {
        updating = true;
        target.value = controlValueOf(p->getValue());
        updating = false;
    }
    if (auto* view = dynamic_cast<ParameterControl*>(&target))
        view->valueTextChanged(p->getText());
}

bool ParameterBinding::alternateActive() const
{
    const auto* knob = dynamic_cast<const gui::Knob*>(&target);
    return knob && knob->alternateActive();
}

void ParameterBinding::valueChanged(gui::NotifyEvent&)
{
    if (updating || !parameter())
        return;
    frame.setParameter(index, plainOf(target.value));
    if (gesture.size() > 1 && alternateActive()) {
        const float moved = parameter()->getNormalized() - gestureStart.front();
        for (std::size_t i = 1; i < gesture.size(); ++i)
            frame.setParameterNormalized(gesture[i], std::clamp(gestureStart[i] + moved, 0.0f, 1.0f));
    }
    update();
}

void ParameterBinding::beginEdit(gui::NotifyEvent&)
{
    finishGesture();
    AbstractPluginParameter* p = parameter();
    if (!p)
        return;
    frame.beginEdit(index);
    gesture.assign(1, index);
    gestureStart.assign(1, p->getNormalized());
}

void ParameterBinding::endEdit(gui::NotifyEvent&) { finishGesture(); }

void ParameterBinding::finishGesture()
{
    if (gesture.empty())
        return;
    const std::vector<int> ended = std::move(gesture);
    gesture.clear();
    gestureStart.clear();
    for (int i : ended)
        frame.endEdit(i);
    frame.gestureEnded();
}
