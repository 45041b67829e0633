#include "editor/modulation/SlotInterface.h"

#include "editor/Drawing.h"
#include "editor/EditorButton.h"
#include "editor/EditorStyle.h"
#include "editor/OstrandInterface.h"
#include "editor/modulation/ModulationInterface.h"
#include "editor/modulation/ModulationStyle.h"
#include "editor/modulation/SlotController.h"
#include "effect/OstrandPlugin.h"
#include "gui/Bitmap.h"
#include "gui/Canvas.h"
#include "gui/ImageControl.h"
#include "gui/Menu.h"
#include "gui/RootControl.h"
#include "gui/UserInterface.h"
#include "modulation/ModulationLayout.h"
#include "modulation/ModulationSlotParameterSetList.h"

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace EditorStyle;

namespace {

// Menu ids: an option position p is p + 1; the narrowing entry above them.
constexpr int narrowId = 1000;

gui::PointF onCircle(gui::PointF c, float radius, float turns)
{
    const float a = turns * 2.0f * std::numbers::pi_v<float>;
    return {c.x + radius * std::sin(a), c.y - radius * std::cos(a)};
}

// Sources in use, kind by kind.
gui::Menu sourceMenu(SourceController& sources, int chosen)
{
    gui::Menu menu;
    menu.add("< Source >", 1, chosen == 0);
    for (int kind = 0; kind < SourceController::kindCount; ++kind) {
        if (sources.activeCount(kind) == 0)
            continue;
        menu.addSeparator();
        for (int i = 0; i < sources.activeCount(kind); ++i) {
            const int source = SourceController::firstOf(kind) + i;
            menu.add(sources.name(source), source + 2, chosen == source + 1);
        }
    }
    return menu;
}

// Targets that exist, in a submenu per owner (filter, source, the slots);
// the input and output ones directly. A slot is not offered its own level.
gui::Menu targetMenu(ModulationInterface& area, int slot, int chosen)
{
    OstrandPlugin& plugin = area.plugin();
    SourceController& sources = area.sources();
    const std::vector<std::string>& names = plugin.getSlotList()->getMatrixParameterSet().getTargetNames();
    auto nameOf = [&names](int target) {
        const auto i = static_cast<std::size_t>(target + 1);
        return i < names.size() ? names[i] : std::string();
    };
    gui::Menu menu;
    menu.add("< Target >", 1, chosen == 0);
    menu.addSeparator();
    for (const ModulationTargetGroup& group : ModulationLayout::standardTargets()) {
        const std::string prefix = group.prefix;
        if (group.slotLevels) {
            // The other slots' levels, together in one submenu.
            gui::Menu levels;
            for (int other = 0; other < std::min(group.owners, plugin.getSlotList()->getNumActive()); ++other)
                if (other != slot) {
                    const int target = group.firstTarget + other;
                    levels.add(nameOf(target), target + 2, chosen == target + 1);
                }
            if (!levels.items.empty()) {
                const bool holdsChoice = chosen > group.firstTarget && chosen <= group.firstTarget + group.owners;
                menu.addSubmenu("Slot Levels", std::move(levels));
                menu.items.back().checked = holdsChoice;
            }
            continue;
        }
        for (int owner = 0; owner < group.owners; ++owner) {
            const bool exists = group.firstSource >= 0 ? sources.isActive(group.firstSource + owner)
                                : prefix.empty()       ? true
                                                       : owner < plugin.filters.getNumActive();
            if (!exists)
                continue;
            const std::string ownerName = prefix + std::to_string(owner + 1);
            gui::Menu entries;
            bool holdsChoice = false;
            for (int j = 0; j < group.perOwner; ++j) {
                const int target = group.firstTarget + owner * group.perOwner + j;
                std::string name = nameOf(target);
                // Under "Filter 1" the entry reads "Freq".
                if (!prefix.empty() && name.rfind(ownerName + " ", 0) == 0)
                    name = name.substr(ownerName.size() + 1);
                entries.add(name, target + 2, chosen == target + 1);
                holdsChoice = holdsChoice || chosen == target + 1;
            }
            if (prefix.empty()) {
                for (gui::Menu::Item& item : entries.items)
                    menu.items.push_back(item);
            } else {
                menu.addSubmenu(ownerName, std::move(entries));
                menu.items.back().checked = holdsChoice;
            }
        }
        if (!menu.items.back().separator)
            menu.addSeparator();
    }
    while (!menu.items.empty() && menu.items.back().separator)
        menu.items.pop_back();
    return menu;
}

} // namespace

// --- SlotMenuButton ---

SlotMenuButton::SlotMenuButton(gui::Control& parent, const gui::Rect& frame, SlotController& area, int index,
                               Field which)
    : PositionControl(parent, frame), slots(area), slot(index), field(which)
{
    text().setFont(valueFont());
}

void SlotMenuButton::valueTextChanged(const std::string& valueText)
{
    if (valueText == shown)
        return;
    shown = valueText;
    invalidate();
}

void SlotMenuButton::showText(const std::string& text)
{
    if (text == transient)
        return;
    transient = text;
    invalidate();
}

void SlotMenuButton::paint(gui::Canvas& canvas)
{
    const gui::Rect r{0, 0, width(), height()};
    Drawing::plate(canvas, r, 3.0f, isEditing() ? facePressed : isHovered() ? faceHover : face, edge);
    const bool empty = value == minimum;
    gui::Pixel colour = empty ? dimText : EditorStyle::text;
    if (field == Field::source && !empty) {
        const int kind = SourceController::kindOf(value - 1);
        if (kind >= 0)
            colour = ModulationStyle::sourceColours[static_cast<std::size_t>(kind)];
    }
    if (!transient.empty())
        canvas.drawText(PositionControl::text(), transient, gui::Rect{4, 0, width() - 4, height()}, accent,
                        gui::Align::Center);
    else if (field == Field::source && !empty && PositionControl::text().measure(shown, 1) > width() - 7)
        canvas.drawText(PositionControl::text(), SourceController::compactName(value - 1),
                        gui::Rect{4, 0, width() - 3, height()}, colour);
    else
        canvas.drawText(PositionControl::text(), shown, gui::Rect{4, 0, width() - 3, height()}, colour);
}

void SlotMenuButton::choose(int position)
{
    beginGesture();
    value = position;
    endGesture();
}

void SlotMenuButton::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    const bool open = button == gui::MouseButton::Left && hitTest(local);
    PositionControl::mouseUp(button, local, modifiers);
    gui::RootControl* top = root();
    if (!open || !top)
        return;
    ModulationInterface& area = slots.area();
    const int chosen = value - minimum;
    gui::Menu menu = field == Field::source ? sourceMenu(area.sources(), chosen) : targetMenu(area, slot, chosen);
    if (chosen > 0) {
        menu.addSeparator();
        menu.add(field == Field::source ? "Show Slots of This Source" : "Show Slots on This Target", narrowId);
    }
    gui::popupMenu(*top, menu, toRoot({0, height()}), [this, chosen](int id) {
        if (id == narrowId) {
            if (field == Field::source)
                slots.narrowToSource(chosen - 1);
            else
                slots.narrowToTarget(chosen - 1);
        } else if (id > 0) {
            choose(minimum + id - 1);
        }
    });
}

// --- SlotLevelKnob ---

namespace {

gui::Knob::Style smallStyle(const gui::Bitmap& body)
{
    gui::Knob::Style s;
    s.image = &body;
    s.centre = {11.0f, 11.0f};
    s.innerRadius = 7.5f;
    s.outerRadius = 10.5f;
    return s;
}

} // namespace

SlotLevelKnob::SlotLevelKnob(gui::Control& parent, gui::Point at, const gui::Bitmap& body)
    : gui::Knob(parent, gui::Rect::ofSize(at.x, at.y, 22, 22), smallStyle(body))
{
}

void SlotLevelKnob::valueTextChanged(const std::string& text)
{
    valueText = text;
    if (rollover() || isEditing())
        report();
}

void SlotLevelKnob::report()
{
    if (showValue)
        showValue(rollover() || isEditing() ? valueText : std::string());
}

void SlotLevelKnob::paint(gui::Canvas& canvas)
{
    const Style& s = style();
    canvas.drawBitmap(*s.image, 0, 0);
    const float radius = 9.0f;
    const float start = s.arcStart / 360.0f, extent = s.arcExtent / 360.0f;
    canvas.strokeArc(s.centre, radius, start, extent, 2.0f, hoverZone() == Zone::Ring ? faceHover : knobTrack);
    const float fraction = range() > 0 ? static_cast<float>(value - minimum) / static_cast<float>(range()) : 0.0f;
    if (fraction > 0.002f)
        canvas.strokeArc(s.centre, radius, start, extent * fraction, 2.0f, enabled.get() ? accent : faintText);
    const float angle = valueAngle();
    canvas.drawLine(onCircle(s.centre, 1.5f, angle), onCircle(s.centre, 5.0f, angle), 1.5f,
                    rollover() || isEditing() ? knobPointer : gui::rgba(196, 200, 208));
}

void SlotLevelKnob::mouseEntered()
{
    gui::Knob::mouseEntered();
    report();
    invalidate();
}

void SlotLevelKnob::mouseLeft()
{
    gui::Knob::mouseLeft();
    report();
    invalidate();
}

void SlotLevelKnob::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    gui::Knob::mouseUp(button, local, modifiers);
    report();
    invalidate();
}

// --- SlotSwitch ---

SlotSwitch::SlotSwitch(gui::Control& parent, const gui::Rect& frame, const std::string& text)
    : PositionControl(parent, frame), caption(text)
{
    PositionControl::text().setFont(captionFont());
}

void SlotSwitch::paint(gui::Canvas& canvas)
{
    const bool on = value == maximum;
    gui::Pixel faceColour = isEditing() ? facePressed : isHovered() ? faceHover : face;
    if (on)
        faceColour = gui::blendOver(faceColour, gui::withAlpha(accent, 46));
    Drawing::plate(canvas, {0, 0, width(), height()}, 3.0f, faceColour, on ? edgeOn : edge);
    canvas.drawText(text(), caption, gui::Rect{0, 0, width(), height()}, on ? accent : dimText, gui::Align::Center);
}

void SlotSwitch::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    if (button == gui::MouseButton::Left && hitTest(local))
        value = value == maximum ? minimum.get() : maximum.get();
    PositionControl::mouseUp(button, local, modifiers);
}

// --- SlotInterface ---

SlotInterface::SlotInterface(gui::Control& parent, SlotController& slots, int slot)
    : gui::AnimatedControl(parent, gui::Rect{0, 0, rowWidth, rowHeight}), owner(slots), index(slot),
      small(userInterface().createText(captionFont()))
{
    ModulationInterface& area = slots.area();
    OstrandInterface& editor = area.editor();
    const ModulationImages& images = area.images();
    ModulationSlotParameterSet& set = (*area.plugin().getSlotList())[slot];
    sign = &add<gui::ImageControl>(gui::Point{0, 5}, images.slotWarning);
    sign->visible = false;
    source = &add<SlotMenuButton>(gui::Rect{13, 3, 66, 19}, slots, slot, SlotMenuButton::Field::source);
    target = &add<SlotMenuButton>(gui::Rect{73, 3, 148, 19}, slots, slot, SlotMenuButton::Field::target);
    level = &add<SlotLevelKnob>(gui::Point{150, 0}, images.knobSmall);
    invert = &add<SlotSwitch>(gui::Rect{174, 4, 194, 18}, "INV");
    bypass = &add<SlotSwitch>(gui::Rect{196, 4, 216, 18}, "BYP");
    remove = &add<EditorButton>(gui::Rect{220, 4, 236, 18}, std::string(), &images.slotRemove);
    editor.bind(*source, set.source.getIndex());
    editor.bind(*target, set.target.getIndex());
    editor.bind(*level, set.level.getIndex());
    editor.bind(*invert, set.invert.getIndex());
    editor.bind(*bypass, set.bypass.getIndex());
    level->showValue = [this](const std::string& text) { target->showText(text); };
    remove->hint = "The Remove Slot button clears this slot's connection and removes it from the list.";
    remove->clicked.addHandler([this](gui::NotifyEvent&) { owner.removeSlot(index); });
}

bool SlotInterface::warningShown() const { return sign->visible.get(); }

void SlotInterface::showWarning(bool shown, const std::string& reason)
{
    sign->visible = shown;
    sign->hint = reason;
}

void SlotInterface::arrive()
{
    // Rows rest at the left edge of the list; only their height varies.
    restingX = 0;
    opacity = 0;
    startAnimation();
}

bool SlotInterface::animate(std::uint64_t elapsed)
{
    const double t = std::min(1.0, static_cast<double>(elapsed) / arrivalTime);
    const double eased = 1.0 - (1.0 - t) * (1.0 - t) * (1.0 - t);
    setPosition({restingX + static_cast<int>(std::lround((1.0 - eased) * rowWidth * 0.6)), position().y});
    opacity = static_cast<int>(std::lround(255.0 * std::min(1.0, t * 1.6)));
    return t < 1.0;
}

void SlotInterface::paint(gui::Canvas& canvas)
{
    // A faint line under each row, and an arrow from source to target.
    canvas.fillRect({12, rowHeight - 1, rowWidth - 4, rowHeight}, gui::rgba(36, 39, 46));
    const gui::PointF arrow[] = {{67.5f, 8.5f}, {70.5f, 11.0f}, {67.5f, 13.5f}};
    canvas.strokePolyline(arrow, 1.2f, faintText);
}

void SlotInterface::mouseWheel(gui::Point local, int modifiers, float amount)
{
    owner.mouseWheel(local, modifiers, amount);
}
