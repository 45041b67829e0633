#pragma once

#include "gui/Control.h"
#include "gui/ValueControl.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace gui {
class Text;
class Timer;
}
class EditorButton;
class ModulationInterface;
class ParameterBinding;
class ParameterKnob;
class SelectButton;
class ToggleSwitch;
class XLFOParameterSet;

// The step editor of one XLFO: a vertical slider per step, side by side,
// with the buttons Remove Step and Add Step above them, and the step
// interface, which edits the selected steps (it shows the current step, the
// highest selected one, and applies every change to all selected steps).
//
// Selection: a click on a step's handle selects that step alone, a click
// beside it deselects all; Ctrl-click toggles a step, Shift-click selects
// from the current step to the clicked one. Dragging a selected step drags
// all selected steps by the same amount, so their differences stay. The
// editor only changes the steps' parameters; the selection is the editor's.
class XLFOController : public gui::Control {
public:
    static constexpr int maxSteps = 16;
    static constexpr int headerHeight = 17;
    // More than this (Euclidean, in pixels) makes a press a drag.
    static constexpr int clickTolerance = 2;

    class StepSlider;
    class StepInterface;
    class ResizeAnimation;

    static constexpr const char* hideHelp =
        "The Hide button hides the XLFO step interface and deselect all steps.";
    static constexpr const char* removeStepHelp =
        "The Remove Step button removes the currently selected steps from the XLFO. If no step is selected, the "
        "last step is removed.";
    static constexpr const char* addStepHelp =
        "The Add Step button adds a new step to the XLFO. The new step copies most of its settings from the "
        "currently selected or previous step. It is inserted after the last selected step, or at the end of all "
        "steps. A maximum of 16 steps can be created.";

    // The step editor fills `frame` of the XLFO's panel; the step interface
    // covers `interfaceFrame` of the panel while steps are selected.
    XLFOController(gui::Control& panel, const gui::Rect& frame, const gui::Rect& interfaceFrame,
                   ModulationInterface& area, XLFOParameterSet& xlfo);
    ~XLFOController() override;

    XLFOParameterSet& xlfo() const { return set; }
    int stepCount() const;
    // The highest selected step, or -1.
    int currentStep() const { return current; }
    bool isSelected(int step) const { return step >= 0 && step < maxSteps && (selected >> step) & 1u; }
    unsigned selection() const { return selected; }
    StepSlider& slider(int step) const { return *sliders[static_cast<std::size_t>(step)]; }
    StepInterface& stepInterface() const { return *steps; }
    EditorButton& addStepButton() const { return *addButton; }
    EditorButton& removeStepButton() const { return *removeButton; }

    // Selection (every change redraws the sliders and rebinds the step
    // interface to the current step).
    void selectOnly(int step);
    void toggle(int step);
    // From the current step to `step`, or `step` alone when none is current.
    void extendTo(int step);
    void deselectAll();

    // The buttons.
    void addStep();
    void removeStep();
    void hide() { deselectAll(); }

    // The number of steps may have changed (undo, a preset): the sliders
    // share the width again and the selection keeps to existing steps.
    void update();

    // The parameter of step `step`: 0 Value, 1 Glide, 2 Glide function, 3 Random.
    int stepParameter(int step, int which) const;
    ModulationInterface& area() const { return owner; }

    void paint(gui::Canvas& canvas) override;

private:
    friend class StepSlider;
    void setSelection(unsigned mask);
    // Where the sliders go for n steps.
    gui::Rect slotOf(int step, int count) const;
    void layout(bool animated);

    ModulationInterface& owner;
    XLFOParameterSet& set;
    std::unique_ptr<gui::Text> caption;
    std::array<StepSlider*, maxSteps> sliders{};
    StepInterface* steps = nullptr;
    EditorButton* addButton = nullptr;
    EditorButton* removeButton = nullptr;
    std::unique_ptr<ResizeAnimation> resizing;
    unsigned selected = 0;
    int current = -1;
    int laidOut = 0;
};

// One step: its value from -1 at the bottom to 1 at the top, a handle at
// the value, or a die in the middle when the step is random (then only the
// die's band takes clicks).
class XLFOController::StepSlider : public gui::ValueControl {
public:
    static constexpr int handleHeight = 5;
    static constexpr int randomBand = 14;

    StepSlider(gui::Control& parent, XLFOController& controller, int step);

    int step() const { return index; }
    bool isRandom() const;
    // Whether a point (own coordinates) is on the handle, or on the die's
    // band for a random step.
    bool onHandle(gui::Point local) const;
    float handleY() const;

    void paint(gui::Canvas& canvas) override;
    void mouseDown(gui::MouseButton button, gui::Point local, int modifiers) override;
    void mouseMove(gui::Point local, int modifiers) override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;

private:
    void endGroup();
    void paintGlide(gui::Canvas& canvas, float handleY);

    XLFOController& owner;
    int index;
    // The press in progress.
    gui::Point downPoint;
    int downModifiers = 0;
    bool hitHandle = false;
    bool dragging = false;
    int startValue = 0;
    // The other selected steps that move with this one, and their values
    // (normalized) at the press.
    std::vector<int> group;
    std::vector<float> groupStart;
};

// The four controls of the current step (Value, Glide, Glide function,
// Random) and Hide. A change of any of them goes to every selected step.
class XLFOController::StepInterface : public gui::Control {
public:
    StepInterface(gui::Control& panel, const gui::Rect& frame, XLFOController& controller);

    // Binds the controls to the current step's parameters (or leaves them
    // where they are when there is none, hidden).
    void showStep(int step);
    // While a step other than the current one is dragged, the Value knob
    // follows that step; -1 goes back to the current step.
    void follow(int step);

    ParameterKnob& valueKnob() const { return *value; }
    ParameterKnob& glideKnob() const { return *glide; }
    SelectButton& curveButton() const { return *curve; }
    ToggleSwitch& randomSwitch() const { return *random; }
    EditorButton& hideButton() const { return *hide; }

    void paint(gui::Canvas& canvas) override;

private:
    void applyToSelected(gui::ValueControl& control, int which);

    XLFOController& owner;
    std::unique_ptr<gui::Text> title;
    ParameterKnob* value = nullptr;
    ParameterKnob* glide = nullptr;
    SelectButton* curve = nullptr;
    ToggleSwitch* random = nullptr;
    EditorButton* hide = nullptr;
    std::array<ParameterBinding*, 4> bindings{};
    int shown = -1;
};

// Moves the sliders from where they are to their places for a new number of
// steps, easing out over a short time.
class XLFOController::ResizeAnimation {
public:
    static constexpr int duration = 160; // ms

    explicit ResizeAnimation(XLFOController& controller);
    ~ResizeAnimation();

    void start(const std::vector<gui::Rect>& from, const std::vector<gui::Rect>& to);
    bool running() const;
    // Puts every slider at its end place now.
    void finish();

private:
    void step();

    XLFOController& owner;
    std::unique_ptr<gui::Timer> timer;
    std::vector<gui::Rect> begin;
    std::vector<gui::Rect> end;
    std::uint64_t started = 0;
};
