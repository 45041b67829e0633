#include "editor/modulation/XLFOController.h"

#include "editor/Drawing.h"
#include "editor/EditorButton.h"
#include "editor/EditorStyle.h"
#include "editor/OstrandInterface.h"
#include "editor/ParameterBinding.h"
#include "editor/ParameterKnob.h"
#include "editor/SwitchControls.h"
#include "editor/modulation/ModulationInterface.h"
#include "editor/modulation/ModulationStyle.h"
#include "effect/OstrandPlugin.h"
#include "framework/AbstractPluginParameter.h"
#include "gui/Bitmap.h"
#include "gui/Canvas.h"
#include "gui/Input.h"
#include "gui/Timer.h"
#include "gui/UserInterface.h"
#include "modulation/XLFOParameterSet.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <vector>

using namespace EditorStyle;

namespace {

const gui::Pixel stepColour = ModulationStyle::sourceColours[0];

unsigned below(int count) { return count >= 32 ? ~0u : (1u << count) - 1u; }

} // namespace

XLFOController::XLFOController(gui::Control& panel, const gui::Rect& frame, const gui::Rect& interfaceFrame,
                               ModulationInterface& area, XLFOParameterSet& xlfo)
    : gui::Control(panel, frame), owner(area), set(xlfo), caption(userInterface().createText(captionFont())),
      resizing(std::make_unique<ResizeAnimation>(*this))
{
    const ModulationImages& images = area.images();
    removeButton = &add<EditorButton>(gui::Rect::ofSize(width() - 38, 1, 18, 13), "\xE2\x88\x92");
    addButton = &add<EditorButton>(gui::Rect::ofSize(width() - 18, 1, 18, 13), std::string(), &images.slotAdd);
    removeButton->hint = removeStepHelp;
    addButton->hint = addStepHelp;
    removeButton->clicked.addHandler([this](gui::NotifyEvent&) { removeStep(); });
    addButton->clicked.addHandler([this](gui::NotifyEvent&) { addStep(); });
    for (int i = 0; i < maxSteps; ++i) {
        sliders[static_cast<std::size_t>(i)] = &add<StepSlider>(*this, i);
        area.editor().bind(*sliders[static_cast<std::size_t>(i)], stepParameter(i, 0));
    }
    steps = &panel.add<StepInterface>(interfaceFrame, *this);
    steps->visible = false;
    layout(false);
}

XLFOController::~XLFOController() = default;

int XLFOController::stepCount() const { return std::clamp(set.getSteps().getNumActive(), 1, maxSteps); }

int XLFOController::stepParameter(int step, int which) const
{
    const XLFOParameterSet::StepParameterSet& s = set.getSteps()[std::clamp(step, 0, maxSteps - 1)];
    switch (which) {
    case 1:
        return s.glide.getIndex();
    case 2:
        return s.glideFunction.getIndex();
    case 3:
        return s.random.getIndex();
    default:
        return s.value.getIndex();
    }
}

// --- Selection ---

void XLFOController::setSelection(unsigned mask)
{
    mask &= below(stepCount());
    selected = mask;
    current = mask ? 31 - std::countl_zero(mask) : -1;
    steps->showStep(current);
    for (StepSlider* s : sliders)
        s->invalidate();
}

void XLFOController::selectOnly(int step) { setSelection(1u << step); }

void XLFOController::toggle(int step) { setSelection(selected ^ (1u << step)); }

void XLFOController::extendTo(int step)
{
    if (current < 0) {
        selectOnly(step);
        return;
    }
    const int lo = std::min(current, step), hi = std::max(current, step);
    setSelection(selected | (below(hi + 1) & ~below(lo)));
}

void XLFOController::deselectAll() { setSelection(0); }

// --- Buttons ---

void XLFOController::addStep()
{
    XLFOParameterSet::StepParameterSetList& list = set.getSteps();
    const int count = list.getNumActive();
    if (count >= maxSteps)
        return;
    // After the current step (a copy of it), or at the end (a copy of the
    // last).
    const int at = current >= 0 ? current + 1 : count;
    list.insertSet(at);
    OstrandInterface& editor = owner.editor();
    editor.refresh();
    update();
    selectOnly(at);
    editor.takeUndoSnapshot();
}

void XLFOController::removeStep()
{
    XLFOParameterSet::StepParameterSetList& list = set.getSteps();
    if (list.getNumActive() <= 1)
        return;
    if (selected == 0) {
        list.removeSet(list.getNumActive() - 1);
    } else {
        // The current (highest selected) step first, until none is selected
        // or one step is left; the steps below it keep their places.
        unsigned mask = selected;
        while (mask && list.getNumActive() > 1) {
            const int step = 31 - std::countl_zero(mask);
            list.removeSet(step);
            mask &= ~(1u << step);
        }
        setSelection(mask);
    }
    OstrandInterface& editor = owner.editor();
    editor.refresh();
    update();
    editor.takeUndoSnapshot();
}

// --- Layout ---

gui::Rect XLFOController::slotOf(int step, int count) const
{
    const double w = static_cast<double>(width()) / std::max(1, count);
    const int left = static_cast<int>(std::lround(step * w));
    const int right = static_cast<int>(std::lround((step + 1) * w));
    return {left, headerHeight, std::max(left + 1, right - 1), height() - 2};
}

void XLFOController::layout(bool animated)
{
    const int count = stepCount();
    std::vector<gui::Rect> from, to;
    for (int i = 0; i < maxSteps; ++i) {
        StepSlider& s = *sliders[static_cast<std::size_t>(i)];
        const bool shown = i < count;
        const gui::Rect place = shown ? slotOf(i, count) : gui::Rect{width(), headerHeight, width() + 1, height() - 2};
        // A new step grows in from the right edge.
        const gui::Rect start = s.visible.get() ? s.frame() : gui::Rect{width(), place.top, width() + 1, place.bottom};
        s.visible = shown;
        from.push_back(start);
        to.push_back(place);
    }
    laidOut = count;
    if (animated)
        resizing->start(from, to);
    else {
        for (int i = 0; i < maxSteps; ++i)
            sliders[static_cast<std::size_t>(i)]->setFrame(to[static_cast<std::size_t>(i)]);
    }
    invalidate();
}

void XLFOController::update()
{
    if (stepCount() != laidOut)
        layout(true);
    // The selection keeps to the steps there are.
    if (selected & ~below(stepCount()))
        setSelection(selected);
    for (StepSlider* s : sliders)
        if (s->visible.get())
            s->invalidate();
    if (steps->visible.get())
        steps->invalidate();
}

void XLFOController::paint(gui::Canvas& canvas)
{
    const int count = stepCount();
    canvas.drawText(*caption, "STEPS " + std::to_string(count), gui::Rect{2, 1, 80, 14}, dimText);
    canvas.fillRect({0, headerHeight - 1, width(), height() - 1}, ModulationStyle::stripWell);
}

// --- StepSlider ---

XLFOController::StepSlider::StepSlider(gui::Control& parent, XLFOController& controller, int step)
    : gui::ValueControl(parent, gui::Rect{0, 0, 1, 1}), owner(controller), index(step)
{
}

bool XLFOController::StepSlider::isRandom() const
{
    const AbstractPluginParameter* p = owner.area().plugin().getParameter(owner.stepParameter(index, 3));
    // "Random" is position 1 of "Fixed,Random".
    return p && std::fabs(p->getValue() - 1.0f) <= 1.1920929e-7f;
}

float XLFOController::StepSlider::handleY() const
{
    const float travel = static_cast<float>(height() - handleHeight);
    const float fraction = range() > 0 ? static_cast<float>(value - minimum) / static_cast<float>(range()) : 0.5f;
    return static_cast<float>(handleHeight) * 0.5f + (1.0f - fraction) * travel;
}

bool XLFOController::StepSlider::onHandle(gui::Point local) const
{
    if (local.x < 0 || local.x >= width() || local.y < 0 || local.y >= height())
        return false;
    const float y = static_cast<float>(local.y) + 0.5f;
    if (isRandom())
        return std::fabs(y - static_cast<float>(height()) * 0.5f) <= randomBand * 0.5f;
    return std::fabs(y - handleY()) <= handleHeight * 0.5f + 2.0f;
}

void XLFOController::StepSlider::paint(gui::Canvas& canvas)
{
    const bool chosen = owner.isSelected(index);
    const bool current = owner.currentStep() == index;
    const gui::Rect r{0, 0, width(), height()};
    canvas.fillRect(r, chosen ? gui::rgba(38, 44, 38) : gui::rgba(27, 30, 35));
    const float middle = static_cast<float>(height()) * 0.5f;
    canvas.fillRect({0, static_cast<int>(middle), width(), static_cast<int>(middle) + 1}, gui::rgba(52, 57, 66));
    if (isRandom()) {
        const gui::Bitmap& die = owner.area().images().randomStep;
        canvas.fillRect({0, static_cast<int>(middle) - randomBand / 2, width(), static_cast<int>(middle) + randomBand / 2},
                        gui::withAlpha(stepColour, chosen ? 70 : 34));
        canvas.drawBitmap(die, (width() - die.width()) / 2, static_cast<int>(middle) - die.height() / 2);
    } else {
        const float y = handleY();
        const int top = static_cast<int>(std::lround(std::min(y, middle)));
        const int bottom = static_cast<int>(std::lround(std::max(y, middle)));
        canvas.fillRect({1, top, width() - 1, bottom}, gui::withAlpha(stepColour, chosen ? 130 : 70));
        const int h = static_cast<int>(std::lround(y - handleHeight * 0.5f));
        canvas.fillRect({0, h, width(), h + handleHeight}, chosen ? gui::rgba(238, 242, 236) : stepColour);
        paintGlide(canvas, y);
    }
    if (current)
        canvas.frameRect(r, gui::rgba(238, 242, 236, 200));
}

void XLFOController::StepSlider::paintGlide(gui::Canvas& canvas, float y)
{
    // The glide into the next step, as the XLFO plays it: held until
    // 1 - (the XLFO's glide + the step's), then along the step's curve to
    // the next step's value at the right edge.
    const XLFOParameterSet& set = owner.xlfo();
    const auto& step = set.getSteps()[index];
    const auto& next = set.getSteps()[(index + 1) % owner.stepCount()];
    const float hold = std::clamp(1.0f - (set.glide.getValue() + step.glide.getValue()), 0.0f, 1.0f);
    if (hold >= 1.0f || next.random.getValue() >= 0.5f)
        return;
    const float travel = static_cast<float>(height() - handleHeight);
    const float to = static_cast<float>(handleHeight) * 0.5f + (1.0f - (next.value.getValue() + 1.0f) * 0.5f) * travel;
    const int curve = static_cast<int>(std::lround(step.glideFunction.getValue()));
    auto shape = [curve](float t) {
        switch (curve) {
        case 1:
            return t * t;
        case 2:
            return std::sqrt(t);
        case 3:
            return (std::sin((t - 0.5f) * std::numbers::pi_v<float>) + 1.0f) * 0.5f;
        default:
            return t;
        }
    };
    std::vector<gui::PointF> line;
    const float w = static_cast<float>(width());
    for (int i = 0; i <= 12; ++i) {
        const float t = static_cast<float>(i) / 12.0f;
        line.push_back({w * (hold + (1.0f - hold) * t), y + (to - y) * shape(t)});
    }
    canvas.strokePolyline(line, 1.4f, gui::rgba(238, 242, 236, 170));
}

void XLFOController::StepSlider::mouseDown(gui::MouseButton button, gui::Point local, int modifiers)
{
    downPoint = local;
    downModifiers = modifiers;
    dragging = false;
    group.clear();
    groupStart.clear();
    hitHandle = button == gui::MouseButton::Left && onHandle(local);
    if (hitHandle) {
        if (modifiers & gui::Modifier::Control)
            owner.toggle(index);
        else if (modifiers & gui::Modifier::Shift)
            owner.extendTo(index);
    }
    startValue = value;
    gui::ValueControl::mouseDown(button, local, modifiers);
}

void XLFOController::StepSlider::mouseMove(gui::Point local, int modifiers)
{
    gui::ValueControl::mouseMove(local, modifiers);
    if (!isEditing() || !hitHandle || (downModifiers & (gui::Modifier::Control | gui::Modifier::Shift)))
        return;
    if (!dragging) {
        const int dx = local.x - downPoint.x, dy = local.y - downPoint.y;
        if (dx * dx + dy * dy <= clickTolerance * clickTolerance)
            return;
        dragging = true;
        // A selected step carries the other selected steps along.
        if (owner.isSelected(index)) {
            OstrandInterface& editor = owner.area().editor();
            for (int s = 0; s < owner.stepCount(); ++s) {
                if (s == index || !owner.isSelected(s))
                    continue;
                const int p = owner.stepParameter(s, 0);
                const AbstractPluginParameter* parameter = editor.plugin().getParameter(p);
                if (!parameter)
                    continue;
                editor.beginEdit(p);
                group.push_back(p);
                groupStart.push_back(parameter->getNormalized());
            }
            if (owner.currentStep() != index)
                owner.stepInterface().follow(index);
        }
    }
    if (isRandom())
        return;
    // The handle follows the mouse: the slider's travel is the whole range.
    const double travel = std::max(1, height() - handleHeight);
    value = startValue - static_cast<int>(std::lround((local.y - downPoint.y) * range() / travel));
    const float moved = static_cast<float>(value - startValue) / static_cast<float>(std::max(1, range()));
    OstrandInterface& editor = owner.area().editor();
    for (std::size_t i = 0; i < group.size(); ++i)
        editor.setParameterNormalized(group[i], std::clamp(groupStart[i] + moved, 0.0f, 1.0f));
    invalidate();
    if (!group.empty())
        for (int s = 0; s < owner.stepCount(); ++s)
            if (owner.isSelected(s))
                owner.slider(s).invalidate();
}

void XLFOController::StepSlider::endGroup()
{
    OstrandInterface& editor = owner.area().editor();
    for (int p : group)
        editor.endEdit(p);
    group.clear();
    groupStart.clear();
    owner.stepInterface().follow(-1);
}

void XLFOController::StepSlider::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    const bool plainClick = !dragging && !(downModifiers & (gui::Modifier::Control | gui::Modifier::Shift));
    endGroup();
    if (button == gui::MouseButton::Left && plainClick) {
        if (hitHandle)
            owner.selectOnly(index);
        else
            owner.deselectAll();
    }
    dragging = false;
    // Ends the edit: the gesture closes for the host and the undo history.
    gui::ValueControl::mouseUp(button, local, modifiers);
}

// --- StepInterface ---

XLFOController::StepInterface::StepInterface(gui::Control& panel, const gui::Rect& frame, XLFOController& controller)
    : gui::Control(panel, frame), owner(controller), title(userInterface().createText(labelFont()))
{
    OstrandInterface& editor = controller.area().editor();
    const gui::Bitmap& body = editor.images().knobBody;
    value = &add<ParameterKnob>(gui::Rect::ofSize(2, 18, 40, 40 + ParameterKnob::captionHeight), body, "VALUE");
    glide = &add<ParameterKnob>(gui::Rect::ofSize(44, 18, 40, 40 + ParameterKnob::captionHeight), body, "GLIDE");
    value->colour = glide->colour = stepColour;
    value->bipolar = true;
    curve = &add<SelectButton>(gui::Rect{88, 22, 166, 36});
    random = &add<ToggleSwitch>(gui::Rect{88, 42, 166, 56}, "RANDOM");
    hide = &add<EditorButton>(gui::Rect{124, 1, 166, 14}, "Hide");
    hide->setFont(captionFont());
    hide->hint = hideHelp;
    hide->clicked.addHandler([this](gui::NotifyEvent&) { owner.hide(); });
    gui::ValueControl* controls[] = {value, glide, curve, random};
    for (int which = 0; which < 4; ++which) {
        gui::ValueControl& control = *controls[which];
        bindings[static_cast<std::size_t>(which)] = &editor.bind(control, controller.stepParameter(0, which));
        control.valueChanged.addHandler([this, &control, which](gui::NotifyEvent&) { applyToSelected(control, which); });
    }
}

void XLFOController::StepInterface::showStep(int step)
{
    visible = step >= 0;
    if (step < 0 || step == shown)
        return;
    shown = step;
    for (int which = 0; which < 4; ++which)
        bindings[static_cast<std::size_t>(which)]->setParameter(owner.stepParameter(step, which));
    invalidate();
}

void XLFOController::StepInterface::follow(int step)
{
    const int target = step >= 0 ? step : shown;
    if (target >= 0)
        bindings[0]->setParameter(owner.stepParameter(target, 0));
}

void XLFOController::StepInterface::applyToSelected(gui::ValueControl& control, int which)
{
    // Only the user's own edits count, not the control following its
    // parameter.
    if (!control.isEditing() || shown < 0)
        return;
    OstrandInterface& editor = owner.area().editor();
    const AbstractPluginParameter* own = editor.plugin().getParameter(owner.stepParameter(shown, which));
    if (!own)
        return;
    // The control's position as the binding turns it into a value (the
    // binding may hear of the change after this handler).
    const float plain = own->isEnumerated()
                            ? static_cast<float>(control.value.get())
                            : own->denormalize(static_cast<float>(control.value.get()) /
                                               static_cast<float>(ParameterBinding::continuousSteps));
    for (int s = 0; s < owner.stepCount(); ++s) {
        if (s == shown || !owner.isSelected(s))
            continue;
        const int p = owner.stepParameter(s, which);
        editor.beginEdit(p);
        editor.setParameter(p, plain);
        editor.endEdit(p);
        owner.slider(s).invalidate();
    }
}

void XLFOController::StepInterface::paint(gui::Canvas& canvas)
{
    const gui::Rect r{0, 0, width(), height()};
    Drawing::plate(canvas, r, 4.0f, ModulationStyle::panelFace, gui::withAlpha(stepColour, 90));
    std::string text = "STEP " + std::to_string(shown + 1);
    const int others = std::popcount(owner.selection()) - 1;
    if (others > 0)
        text += "  +" + std::to_string(others);
    canvas.drawText(*title, text, gui::Rect{6, 1, 120, 14}, stepColour);
}

// --- ResizeAnimation ---

XLFOController::ResizeAnimation::ResizeAnimation(XLFOController& controller)
    : owner(controller), timer(controller.userInterface().createTimer(gui::AnimatedControl::frameInterval))
{
    timer->elapsed.addHandler([this](gui::NotifyEvent&) { step(); });
}

XLFOController::ResizeAnimation::~ResizeAnimation() = default;

bool XLFOController::ResizeAnimation::running() const { return timer->running(); }

void XLFOController::ResizeAnimation::start(const std::vector<gui::Rect>& from, const std::vector<gui::Rect>& to)
{
    begin = from;
    end = to;
    started = owner.userInterface().milliseconds();
    timer->start();
    step();
}

void XLFOController::ResizeAnimation::finish()
{
    timer->stop();
    for (std::size_t i = 0; i < end.size(); ++i)
        owner.slider(static_cast<int>(i)).setFrame(end[i]);
    owner.invalidate();
}

void XLFOController::ResizeAnimation::step()
{
    const double t = std::min(1.0, static_cast<double>(owner.userInterface().milliseconds() - started) / duration);
    if (t >= 1.0) {
        finish();
        return;
    }
    const double eased = 1.0 - (1.0 - t) * (1.0 - t);
    auto mix = [eased](int a, int b) { return a + static_cast<int>(std::lround((b - a) * eased)); };
    for (std::size_t i = 0; i < end.size(); ++i) {
        const gui::Rect& a = begin[i];
        const gui::Rect& b = end[i];
        owner.slider(static_cast<int>(i))
            .setFrame({mix(a.left, b.left), mix(a.top, b.top), mix(a.right, b.right), mix(a.bottom, b.bottom)});
    }
    owner.invalidate();
}
