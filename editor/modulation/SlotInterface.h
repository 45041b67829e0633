#pragma once

#include "editor/ParameterControl.h"
#include "editor/SwitchControls.h"
#include "gui/AnimatedControl.h"
#include "gui/Knob.h"

#include <functional>
#include <memory>
#include <string>

namespace gui {
class Bitmap;
class ImageControl;
class Text;
}
class EditorButton;
class ModulationInterface;
class SlotController;

// A slot's Source or Target: shows the chosen name ("< Source >" when none)
// and opens a menu of the sources in use, or of the targets that exist,
// grouped by their owner; its last entry narrows the slot area to the slots
// of the chosen source or target.
class SlotMenuButton : public PositionControl {
public:
    enum class Field { source, target };

    SlotMenuButton(gui::Control& parent, const gui::Rect& frame, SlotController& slots, int slot, Field field);

    void valueTextChanged(const std::string& text) override;
    const std::string& choiceText() const { return shown; }
    // A text shown in place of the choice while set (the level's value).
    void showText(const std::string& text);
    void paint(gui::Canvas& canvas) override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;

    // Sets the option position as a gesture (a choice from the menu).
    void choose(int position);

private:
    SlotController& slots;
    int slot;
    Field field;
    std::string shown;
    std::string transient;
};

// A slot's level: a small knob (itself a modulation target). Its value
// shows in the slot's row while the mouse is over it or drags it.
class SlotLevelKnob : public gui::Knob, public ParameterControl {
public:
    SlotLevelKnob(gui::Control& parent, gui::Point at, const gui::Bitmap& body);

    // Receives the value text to show, or an empty text when it is done.
    std::function<void(const std::string&)> showValue;

    void valueTextChanged(const std::string& text) override;
    void paint(gui::Canvas& canvas) override;
    void mouseEntered() override;
    void mouseLeft() override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;

private:
    void report();
    std::string valueText;
};

// A compact switch of a slot ("INV", "BYP"), lit while on.
class SlotSwitch : public PositionControl {
public:
    SlotSwitch(gui::Control& parent, const gui::Rect& frame, const std::string& caption);
    void paint(gui::Canvas& canvas) override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;

private:
    std::string caption;
};

// One slot's row in the slot area: the warning sign when the slot does
// nothing, Source, Target, the level, Invert, Bypass and Remove Slot. A row
// belongs to its slot index for the life of the editor; its controls are
// bound to that slot's parameters.
class SlotInterface : public gui::AnimatedControl {
public:
    static constexpr int rowHeight = 22;
    static constexpr int rowWidth = 240;
    // A new slot's row slides in over this time.
    static constexpr int arrivalTime = 500; // ms

    SlotInterface(gui::Control& parent, SlotController& slots, int slot);

    int slot() const { return index; }
    SlotMenuButton& sourceButton() const { return *source; }
    SlotMenuButton& targetButton() const { return *target; }
    SlotLevelKnob& levelKnob() const { return *level; }
    SlotSwitch& invertSwitch() const { return *invert; }
    SlotSwitch& bypassSwitch() const { return *bypass; }
    EditorButton& removeButton() const { return *remove; }
    bool warningShown() const;

    // Whether the warning sign shows (the slot does nothing although it is
    // not bypassed), with the reason as its hint.
    void showWarning(bool shown, const std::string& reason);
    // Slides the row in from the right.
    void arrive();
    bool arriving() const { return animating(); }

    void paint(gui::Canvas& canvas) override;
    // The wheel over a row scrolls the list.
    void mouseWheel(gui::Point local, int modifiers, float amount) override;

protected:
    bool animate(std::uint64_t elapsed) override;

private:
    SlotController& owner;
    int index;
    SlotMenuButton* source = nullptr;
    SlotMenuButton* target = nullptr;
    SlotLevelKnob* level = nullptr;
    SlotSwitch* invert = nullptr;
    SlotSwitch* bypass = nullptr;
    EditorButton* remove = nullptr;
    gui::ImageControl* sign = nullptr;
    std::unique_ptr<gui::Text> small;
    std::string levelText;
    int restingX = 0;
};
