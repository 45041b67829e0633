#include "editor/modulation/SlotController.h"

#include "editor/Drawing.h"
#include "editor/EditorButton.h"
#include "editor/EditorStyle.h"
#include "editor/OstrandInterface.h"
#include "editor/modulation/ModulationInterface.h"
#include "editor/modulation/ModulationStyle.h"
#include "editor/modulation/SlotInterface.h"
#include "effect/OstrandPlugin.h"
#include "gui/Canvas.h"
#include "gui/UserInterface.h"
#include "modulation/ModMatrixParamController.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationSlotParameterSetList.h"

#include <algorithm>
#include <cmath>

using namespace EditorStyle;

// --- SlotContextBar ---

SlotContextBar::SlotContextBar(gui::Control& parent, const gui::Rect& frame)
    : gui::Control(parent, frame), font(userInterface().createText(captionFont()))
{
}

void SlotContextBar::setText(const std::string& text, bool narrowed)
{
    if (text == shown && narrowed == narrow)
        return;
    shown = text;
    narrow = narrowed;
    invalidate();
}

void SlotContextBar::paint(gui::Canvas& canvas)
{
    canvas.drawText(*font, shown, gui::Rect{0, 0, width(), height()}, narrow ? accent : dimText);
}

// --- SlotController ---

SlotController::SlotController(gui::Control& parent, const gui::Rect& frame, ModulationInterface& area)
    : gui::Control(parent, frame), owner(area)
{
    const ModulationImages& images = area.images();
    context = &gui::Control::add<SlotContextBar>(gui::Rect{6, 1, 144, 15});
    auto button = [this](int x, const gui::Bitmap& icon) -> EditorButton& {
        return gui::Control::add<EditorButton>(gui::Rect::ofSize(x, 1, 22, 14), std::string(), &icon);
    };
    showAll = &button(146, images.slotShowAll);
    sort = &button(170, images.slotSort);
    drop = &button(194, images.slotDrop);
    adder = &button(218, images.slotAdd);
    showAll->hint = "The Show All Slots button lists all slots again after the list was narrowed to the slots of "
                    "one source or one target.";
    sort->hint = "The Sort Slots button orders the slots by source, then by target, so that the slots of one "
                 "source are grouped together.";
    drop->hint = "Drop a source's cable here to make a slot from it, then choose the slot's target.";
    adder->hint = "The Add Slot button adds an empty slot; choose its source and target from their menus.";
    showAll->clicked.addHandler([this](gui::NotifyEvent&) { showAllSlots(); });
    sort->clicked.addHandler([this](gui::NotifyEvent&) { sortSlots(); });
    adder->clicked.addHandler([this](gui::NotifyEvent&) { addSlot(); });

    list = &gui::Control::add<gui::Control>(gui::Rect{0, headerHeight, width(), height()});
    for (int slot = 0; slot < slotCount; ++slot) {
        rows[static_cast<std::size_t>(slot)] = &list->add<SlotInterface>(*this, slot);
        rows[static_cast<std::size_t>(slot)]->visible = false;
    }
    update();
}

SlotController::~SlotController() = default;

bool SlotController::matches(int slot) const
{
    const ModulationSlotParameterSet& set = (*owner.plugin().getSlotList())[slot];
    switch (narrowing) {
    case Filter::source:
        return set.source.getSource() == narrowedTo;
    case Filter::target:
        return set.target.getTarget() == narrowedTo;
    default:
        return true;
    }
}

void SlotController::update()
{
    const ModulationSlotParameterSetList& slots = *owner.plugin().getSlotList();
    const int count = std::clamp(slots.getNumActive(), 0, slotCount);
    shown.clear();
    for (int slot = 0; slot < count; ++slot)
        if (matches(slot))
            shown.push_back(slot);
    for (int slot = 0; slot < slotCount; ++slot) {
        SlotInterface& r = *rows[static_cast<std::size_t>(slot)];
        const bool listed = std::find(shown.begin(), shown.end(), slot) != shown.end();
        if (!listed && r.arriving())
            r.stopAnimation();
        r.visible = listed;
    }
    switch (narrowing) {
    case Filter::source:
        context->setText("Slots connected to source " + owner.sources().name(narrowedTo), true);
        break;
    case Filter::target: {
        const auto& names = slots.getMatrixParameterSet().getTargetNames();
        const auto i = static_cast<std::size_t>(narrowedTo + 1);
        context->setText("Slots connected to target " + (i < names.size() ? names[i] : std::string()), true);
        break;
    }
    default:
        context->setText(count == 0   ? std::string("SLOTS")
                         : count == 1 ? std::string("SLOTS  1 in use")
                                      : "SLOTS  " + std::to_string(count) + " in use",
                         false);
        break;
    }
    showAll->enabled = narrowing != Filter::all;
    showAll->dimmed = narrowing == Filter::all;
    sort->dimmed = count < 2;
    adder->dimmed = count >= slotCount;
    place();
    updateWarnings();
}

void SlotController::updateWarnings()
{
    const ModulationMatrix* matrix = owner.plugin().getModulationMatrix();
    const ModulationSlotParameterSetList& slots = *owner.plugin().getSlotList();
    for (int slot : shown) {
        const ModulationSlotParameterSet& set = slots[slot];
        const bool unset = set.source.getSource() < 0 || set.target.getTarget() < 0;
        const bool bypassed = set.bypass.getValue() >= 0.5f;
        // A bypassed slot is off on purpose; any other slot that does
        // nothing gets the sign, with the reason.
        const bool idle = !bypassed && !(matrix && matrix->isSlotValid(slot));
        rows[static_cast<std::size_t>(slot)]->showWarning(
            idle, unset ? "This slot does nothing until it has both a source and a target."
                        : "This slot does nothing: its source would modulate one of its own settings, directly or "
                          "through the level of another slot.");
    }
}

void SlotController::place()
{
    const int content = static_cast<int>(shown.size()) * SlotInterface::rowHeight;
    offset = std::clamp(offset, 0, std::max(0, content - viewHeight()));
    for (std::size_t k = 0; k < shown.size(); ++k) {
        SlotInterface& r = *rows[static_cast<std::size_t>(shown[k])];
        r.setPosition({r.position().x, static_cast<int>(k) * SlotInterface::rowHeight - offset});
    }
    invalidate();
}

void SlotController::scrollTo(int y)
{
    offset = y;
    place();
}

void SlotController::reveal(int slot)
{
    const auto it = std::find(shown.begin(), shown.end(), slot);
    if (it == shown.end())
        return;
    const int top = static_cast<int>(it - shown.begin()) * SlotInterface::rowHeight;
    if (top < offset)
        scrollTo(top);
    else if (top + SlotInterface::rowHeight > offset + viewHeight())
        scrollTo(top + SlotInterface::rowHeight - viewHeight());
}

void SlotController::narrowToSource(int source)
{
    narrowing = Filter::source;
    narrowedTo = source;
    offset = 0;
    update();
}

void SlotController::narrowToTarget(int target)
{
    narrowing = Filter::target;
    narrowedTo = target;
    offset = 0;
    update();
}

void SlotController::showAllSlots()
{
    narrowing = Filter::all;
    narrowedTo = -1;
    update();
}

void SlotController::welcome(int slot)
{
    if (!matches(slot))
        narrowing = Filter::all;
    update();
    reveal(slot);
    rows[static_cast<std::size_t>(slot)]->arrive();
}

// --- Commands ---

void SlotController::addSlot() { addSlotFrom(-1); }

int SlotController::addSlotFrom(int source)
{
    OstrandPlugin& plugin = owner.plugin();
    ModulationSlotParameterSetList& slots = *plugin.getSlotList();
    ModMatrixParamController* controller = plugin.getParamController();
    const int slot = slots.getNumActive();
    if (!controller || slot >= slots.getMaxActive() || slot >= slotCount) {
        owner.editor().showMessage(ModulationMatrixPlugin::noFreeSlotsMessage);
        return -1;
    }
    {
        GenericPlugin::Batch batch(plugin);
        slots.getNumActiveParameter().setValue(static_cast<float>(slot + 1), 0);
        // Whatever an earlier use left in the slot goes.
        controller->clearSlot(slot);
        if (source >= 0) {
            controller->setSource(slot, source);
            controller->setLevel(slot, ModulationMatrixPlugin::newConnectionLevel);
        }
    }
    owner.editor().refresh();
    welcome(slot);
    owner.editor().takeUndoSnapshot();
    return slot;
}

void SlotController::removeSlot(int slot)
{
    OstrandPlugin& plugin = owner.plugin();
    ModulationSlotParameterSetList& slots = *plugin.getSlotList();
    ModMatrixParamController* controller = plugin.getParamController();
    if (!controller || slot < 0 || slot >= slots.getNumActive())
        return;
    {
        GenericPlugin::Batch batch(plugin);
        controller->clearSlot(slot);
        slots.removeSet(slot);
    }
    owner.editor().refresh();
    update();
    owner.editor().takeUndoSnapshot();
}

void SlotController::sortSlots()
{
    OstrandPlugin& plugin = owner.plugin();
    ModMatrixParamController* controller = plugin.getParamController();
    const int count = plugin.getSlotList()->getNumActive();
    if (!controller || count < 2)
        return;
    controller->sortSlots(count);
    owner.editor().refresh();
    update();
    owner.editor().takeUndoSnapshot();
}

// --- Drawing and scrolling ---

void SlotController::paint(gui::Canvas& canvas)
{
    Drawing::plate(canvas, {0, 0, width(), height()}, 4.0f, ModulationStyle::panelFace, ModulationStyle::panelEdge);
    const int content = static_cast<int>(shown.size()) * SlotInterface::rowHeight;
    if (content <= viewHeight())
        return;
    // A thin scroll bar at the right edge of the list.
    const int track = viewHeight() - 4;
    const int length = std::max(10, track * viewHeight() / content);
    const int top = headerHeight + 2 + (track - length) * offset / std::max(1, content - viewHeight());
    Drawing::fillRoundedRect(canvas, gui::Rect{width() - 4, top, width() - 2, top + length}, 1.0f,
                             gui::rgba(92, 98, 110));
}

void SlotController::mouseWheel(gui::Point, int, float amount)
{
    if (amount == 0.0f)
        return;
    scrollTo(offset + (amount > 0 ? -SlotInterface::rowHeight : SlotInterface::rowHeight));
}
