#pragma once

#include "gui/Control.h"

#include <memory>
#include <string>

namespace gui {
class Text;
}
class AbstractPluginParameter;
class EditorButton;
class ModulationInterface;
class ParameterKnob;
class SelectButton;
class SourceDragButton;
class ToggleSwitch;

// A source's panel in the strip: a header with the drag button, the
// source's name, the number of slots it feeds (a click lists only those
// slots) and Remove Source; below it one control per parameter of the
// source, bound to the source's set in its list. A panel always shows the
// set at its place in the list, so when an earlier source is removed the
// values move down into it and it shows them.
class SourceInterface : public gui::Control {
public:
    static constexpr int panelHeight = 105;
    static constexpr int headerHeight = 15;

    SourceInterface(gui::Control& parent, ModulationInterface& area, int source, int width);
    ~SourceInterface() override;

    int source() const { return number; }
    int kind() const;
    SourceDragButton& dragButton() const { return *jack; }
    EditorButton& removeButton() const { return *remove; }
    EditorButton& slotsButton() const { return *slotCount; }

    // The parameters changed; panels with parts that depend on them
    // (steps, a controller number that only counts for one input) follow.
    virtual void update() {}
    // The number of slots that use the source.
    void showSlotCount(int count);

    void paint(gui::Canvas& canvas) override;
    // Turning the wheel over the panel (not over a knob) scrolls the strip.
    void mouseWheel(gui::Point local, int modifiers, float amount) override;

protected:
    // The width the header spans (the XLFO's step editor has its own).
    void setHeaderWidth(int width);
    ParameterKnob& addKnob(gui::Point at, const std::string& caption, AbstractPluginParameter& parameter);
    SelectButton& addSelect(const gui::Rect& frame, AbstractPluginParameter& parameter);
    ToggleSwitch& addToggle(const gui::Rect& frame, const std::string& caption, AbstractPluginParameter& parameter);

    ModulationInterface& area;

private:
    int number;
    // Panels too narrow for a worded slot count beside the title.
    bool narrow() const { return headerWidth < 150; }
    int headerWidth;
    std::unique_ptr<gui::Text> titleFont;
    SourceDragButton* jack = nullptr;
    EditorButton* remove = nullptr;
    EditorButton* slotCount = nullptr;
};

// The panels of the other three kinds of source.
class EGSourceInterface : public SourceInterface {
public:
    static constexpr int panelWidth = 214;
    EGSourceInterface(gui::Control& parent, ModulationInterface& area, int source);
};

class EFSourceInterface : public SourceInterface {
public:
    static constexpr int panelWidth = 96;
    EFSourceInterface(gui::Control& parent, ModulationInterface& area, int source);
};

class MidiSourceInterface : public SourceInterface {
public:
    static constexpr int panelWidth = 96;
    MidiSourceInterface(gui::Control& parent, ModulationInterface& area, int source);
    // The controller number only counts for the input "Controller".
    void update() override;

private:
    SelectButton* input = nullptr;
    ParameterKnob* controller = nullptr;
};
