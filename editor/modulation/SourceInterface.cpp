#include "editor/modulation/SourceInterface.h"

#include "editor/Drawing.h"
#include "editor/EditorButton.h"
#include "editor/EditorStyle.h"
#include "editor/OstrandInterface.h"
#include "editor/ParameterKnob.h"
#include "editor/SwitchControls.h"
#include "editor/modulation/ModulationInterface.h"
#include "editor/modulation/ModulationScrollStrip.h"
#include "editor/modulation/ModulationStyle.h"
#include "editor/modulation/SlotController.h"
#include "editor/modulation/SourceDragButton.h"
#include "effect/OstrandPlugin.h"
#include "gui/Canvas.h"
#include "gui/UserInterface.h"

#include <cmath>

using namespace EditorStyle;

namespace {

constexpr int knobWidth = 40;
constexpr int knobHeight = 40 + ParameterKnob::captionHeight;

} // namespace

SourceInterface::SourceInterface(gui::Control& parent, ModulationInterface& modulation, int source, int width)
    : gui::Control(parent, gui::Rect{0, 0, width, panelHeight}), area(modulation), number(source), headerWidth(width),
      titleFont(userInterface().createText(labelFont()))
{
    const ModulationImages& images = modulation.images();
    jack = &add<SourceDragButton>(gui::Point{2, 1}, modulation, source,
                                  images.dragButton[static_cast<std::size_t>(kind())]);
    remove = &add<EditorButton>(gui::Rect::ofSize(width - 16, 1, 14, 13), std::string(), &images.slotRemove);
    remove->hint = "The Remove Source button removes this modulation source, and every slot that uses it.";
    remove->clicked.addHandler([this](gui::NotifyEvent&) { area.removeSource(number); });
    slotCount = &add<EditorButton>(gui::Rect::ofSize(0, 1, narrow() ? 20 : 40, 13), std::string());
    slotCount->setPosition({width - 18 - slotCount->width(), 1});
    slotCount->setFont(captionFont());
    slotCount->hint = "Lists only the slots this source feeds. Show All Slots lists all of them again.";
    slotCount->clicked.addHandler([this](gui::NotifyEvent&) { area.slots().narrowToSource(number); });
    slotCount->visible = false;
}

SourceInterface::~SourceInterface() = default;

int SourceInterface::kind() const { return SourceController::kindOf(number); }

void SourceInterface::setHeaderWidth(int width)
{
    headerWidth = width;
    remove->setPosition({width - 16, 1});
    slotCount->setPosition({width - 18 - slotCount->width(), 1});
}

void SourceInterface::showSlotCount(int count)
{
    slotCount->visible = count > 0;
    // A narrow panel has room for the number alone beside its title.
    if (narrow())
        slotCount->caption = std::to_string(count);
    else
        slotCount->caption = count == 1 ? std::string("1 slot") : std::to_string(count) + " slots";
}

ParameterKnob& SourceInterface::addKnob(gui::Point at, const std::string& caption, AbstractPluginParameter& p)
{
    ParameterKnob& knob = add<ParameterKnob>(gui::Rect::ofSize(at.x, at.y, knobWidth, knobHeight),
                                             area.editor().images().knobBody, caption);
    knob.colour = ModulationStyle::sourceColours[static_cast<std::size_t>(kind())];
    area.editor().bind(knob, p.getIndex());
    return knob;
}

SelectButton& SourceInterface::addSelect(const gui::Rect& frame, AbstractPluginParameter& p)
{
    SelectButton& button = add<SelectButton>(frame);
    area.editor().bind(button, p.getIndex());
    return button;
}

ToggleSwitch& SourceInterface::addToggle(const gui::Rect& frame, const std::string& caption,
                                         AbstractPluginParameter& p)
{
    ToggleSwitch& toggle = add<ToggleSwitch>(frame, caption);
    area.editor().bind(toggle, p.getIndex());
    return toggle;
}

void SourceInterface::paint(gui::Canvas& canvas)
{
    const gui::Pixel colour = ModulationStyle::sourceColours[static_cast<std::size_t>(kind())];
    const gui::Rect r{0, 0, width(), height()};
    Drawing::plate(canvas, r, 4.0f, ModulationStyle::panelFace, ModulationStyle::panelEdge);
    // The kind's colour along the top edge of the header.
    canvas.fillRect({4, 0, headerWidth - 4, 1}, gui::withAlpha(colour, 150));
    // The title takes the header up to the count (or the remove button);
    // "MIDI Source 1" becomes "MIDI 1" where it does not fit.
    const int right = (slotCount->visible ? slotCount->position().x : remove->position().x) - 3;
    std::string title = area.sources().name(number);
    if (titleFont->measure(title, 1) > right - 19)
        title = SourceController::compactName(number);
    canvas.drawText(*titleFont, title, gui::Rect{19, 1, right, 14}, colour);
}

void SourceInterface::mouseWheel(gui::Point local, int modifiers, float amount)
{
    area.strip().mouseWheel(local, modifiers, amount);
}

// --- The envelope generator ---

EGSourceInterface::EGSourceInterface(gui::Control& parent, ModulationInterface& modulation, int source)
    : SourceInterface(parent, modulation, source, panelWidth)
{
    EGParameterSet& set = modulation.plugin().egs[SourceController::placeOf(source)];
    addKnob({2, 16}, "ATTACK", set.attack);
    addKnob({44, 16}, "DECAY", set.decay);
    addKnob({86, 16}, "SUSTAIN", set.sustain);
    addKnob({128, 16}, "RELEASE", set.release);
    addKnob({172, 16}, "THRESH", set.threshold);
    addSelect(gui::Rect{6, 78, 108, 92}, set.triggering);
}

// --- The envelope follower ---

EFSourceInterface::EFSourceInterface(gui::Control& parent, ModulationInterface& modulation, int source)
    : SourceInterface(parent, modulation, source, panelWidth)
{
    EFParameterSet& set = modulation.plugin().efs[SourceController::placeOf(source)];
    addKnob({4, 16}, "ATTACK", set.attack);
    addKnob({50, 16}, "RELEASE", set.release);
    addSelect(gui::Rect{6, 78, 90, 92}, set.input);
}

// --- The MIDI source ---

MidiSourceInterface::MidiSourceInterface(gui::Control& parent, ModulationInterface& modulation, int source)
    : SourceInterface(parent, modulation, source, panelWidth)
{
    MidiSourceParameterSet& set = modulation.plugin().midiSources[SourceController::placeOf(source)];
    input = &addSelect(gui::Rect{6, 20, 90, 34}, set.input);
    controller = &addKnob({28, 40}, "CC", set.controllerNumber);
}

void MidiSourceInterface::update()
{
    const MidiSourceParameterSet& set = area.plugin().midiSources[SourceController::placeOf(source())];
    const bool byNumber =
        std::lround(set.input.getValue()) == static_cast<long>(MidiModSource::MidiInput::Controller);
    controller->enabled = byNumber;
}
