#include "editor/modulation/ModulationInterface.h"

#include "editor/EditorButton.h"
#include "editor/EditorStyle.h"
#include "editor/FilterController.h"
#include "editor/EditorTopBar.h"
#include "editor/FilterPanel.h"
#include "editor/OstrandInterface.h"
#include "editor/ParameterBinding.h"
#include "editor/modulation/MidiLearnController.h"
#include "editor/modulation/ModulatedFilterDots.h"
#include "editor/modulation/ModulationDragStage.h"
#include "editor/modulation/ModulationRing.h"
#include "editor/modulation/ModulationScrollStrip.h"
#include "editor/modulation/ModulationStyle.h"
#include "editor/modulation/SlotController.h"
#include "editor/modulation/SourceDragButton.h"
#include "editor/modulation/SourceInterface.h"
#include "editor/modulation/SourceSelectionBar.h"
#include "editor/modulation/XLFOSourceInterface.h"
#include "effect/OstrandPlugin.h"
#include "gui/Canvas.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/Menu.h"
#include "gui/RootControl.h"
#include "gui/Timer.h"
#include "gui/UserInterface.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "modulation/ModulationTargetParameter.h"

#include <algorithm>

ModulationInterface::ModulationInterface(gui::Control& area, OstrandInterface& editor)
    : gui::Control(area, gui::Rect{0, 0, area.width(), area.height()}), frame(editor), catalogue(editor.effect()),
      sweeps(editor.effect(), catalogue), promptFont(userInterface().createText(EditorStyle::labelFont()))
{
    sourceBar = &add<SourceSelectionBar>(barFrame, *this);
    addButton = &add<EditorButton>(addSourceFrame, "+ SOURCE");
    addButton->setFont(EditorStyle::captionFont());
    addButton->hint = "The Add Source button adds a modulation source: a step LFO (XLFO), an envelope generator, "
                      "an envelope follower or a MIDI source. Drag a source's jack onto a knob to modulate it.";
    addButton->clicked.addHandler([this](gui::NotifyEvent&) { openAddSourceMenu(); });
    panels = &add<ModulationScrollStrip>(stripFrame);
    buildPanels();
    slotArea = &add<SlotController>(slotFrame, *this);

    stage = &editor.surface().add<ModulationDragStage>();
    stage->addListener(*this);
    liveDots = &editor.display().add<ModulatedFilterDots>(editor.display(), editor.effect(), sweeps);
    attachRings();
    // MIDI learn reaches every control; the linked filters' frequency and
    // peak, which have no control of their own, get items of their own.
    const gui::Rect status = MidiLearnController::statusFrame;
    learnMode = &editor.surface().add<MidiLearnController>(
        editor, editor.topBar().learn,
        std::vector<MidiLearnController::Item>{
            {editor.effect().getLinkFreq().getIndex(), "LINK FREQ", gui::Rect{status.right - 142, status.top + 3, status.right - 76, status.bottom - 4}},
            {editor.effect().getLinkPeak().getIndex(), "LINK PEAK", gui::Rect{status.right - 72, status.top + 3, status.right - 6, status.bottom - 4}}});
    editor.topBar().learn.clicked.addHandler([this](gui::NotifyEvent&) { learnMode->toggle(); });

    panels->scrolled.addHandler([this](gui::NotifyEvent&) { sourceBar->followStrip(); });
    ticker = userInterface().createTimer(tickInterval);
    ticker->elapsed.addHandler([this](gui::NotifyEvent&) { tick(); });
    ticker->start();
    parametersChanged(true, {});
    tick();
}

ModulationInterface::~ModulationInterface()
{
    // The stage goes with the editor's surface, which may already have
    // taken it down.
    if (userInterface().contains(stage))
        stage->removeListener(*this);
}

OstrandPlugin& ModulationInterface::plugin() const { return frame.effect(); }

void ModulationInterface::buildPanels()
{
    gui::Control& row = panels->content();
    for (int source = 0; source < SourceController::sourceCount; ++source) {
        SourceInterface* panel = nullptr;
        switch (SourceController::kindOf(source)) {
        case SourceController::xlfo:
            panel = &row.add<XLFOSourceInterface>(*this, source);
            break;
        case SourceController::eg:
            panel = &row.add<EGSourceInterface>(*this, source);
            break;
        case SourceController::ef:
            panel = &row.add<EFSourceInterface>(*this, source);
            break;
        default:
            panel = &row.add<MidiSourceInterface>(*this, source);
            break;
        }
        panel->visible = false;
        sourcePanels[static_cast<std::size_t>(source)] = panel;
    }
}

void ModulationInterface::attachRings()
{
    // Every knob of the editor that shows a modulation target, wherever it
    // is: the filter and output panels, the sources, the slots' levels.
    for (ParameterBinding* binding : frame.allBindings()) {
        auto* knob = dynamic_cast<gui::Knob*>(&binding->control());
        if (!knob || !dynamic_cast<ModulationTargetParameter*>(plugin().getParameter(binding->parameterIndex())))
            continue;
        knobRings.push_back(&knob->add<ModulationRing>(*knob, *binding, plugin(), sweeps));
    }
}

bool ModulationInterface::arrangeSources()
{
    std::vector<int> active = catalogue.activeSources();
    if (shownSources == active)
        return false;
    shownSources = std::move(active);
    std::vector<gui::Control*> row;
    for (int source = 0; source < SourceController::sourceCount; ++source) {
        SourceInterface& panel = *sourcePanels[static_cast<std::size_t>(source)];
        const bool shown = catalogue.isActive(source);
        panel.visible = shown;
        if (shown)
            row.push_back(&panel);
    }
    panels->arrange(row);
    sourceBar->arrange();
    invalidate();
    return true;
}

// --- Sources ---

void ModulationInterface::showSource(int source, bool glide)
{
    if (catalogue.isActive(source))
        panels->centreOn(panelOf(source), glide);
}

void ModulationInterface::openAddSourceMenu()
{
    gui::Menu menu;
    for (int kind = 0; kind < SourceController::kindCount; ++kind)
        menu.add(SourceController::kindName(kind), kind + 1, false,
                 catalogue.activeCount(kind) < SourceController::capacityOf(kind));
    gui::RootControl* top = root();
    if (!top)
        return;
    gui::popupMenu(*top, menu, addButton->toRoot({0, addButton->height()}), [this](int chosen) {
        if (chosen > 0)
            addSource(chosen - 1);
    });
}

void ModulationInterface::addSource(int kind)
{
    if (!catalogue.add(kind))
        return;
    frame.refresh();
    showSource(SourceController::firstOf(kind) + catalogue.activeCount(kind) - 1);
    frame.takeUndoSnapshot();
}

void ModulationInterface::removeSource(int source)
{
    if (!catalogue.isActive(source))
        return;
    catalogue.remove(source);
    if (slotArea->filter() == SlotController::Filter::source)
        slotArea->showAllSlots();
    frame.refresh();
    frame.takeUndoSnapshot();
}

// --- Connections ---

void ModulationInterface::beginConnection(SourceDragButton& button, gui::Point local)
{
    const gui::PointF centre = button.centreInRoot();
    const gui::Point origin = stage->toRoot({0, 0});
    const gui::PointF start{centre.x - static_cast<float>(origin.x), centre.y - static_cast<float>(origin.y)};
    const int kind = SourceController::kindOf(button.source());
    stage->snapTo(std::nullopt);
    stage->beginDrag(std::make_unique<ModulationDragStage::Cable>(
                         button, button.source(), start, ModulationStyle::sourceColours[static_cast<std::size_t>(kind)]),
                     stage->fromRoot(button.toRoot(local)));
}

int ModulationInterface::targetOf(gui::Control* control, gui::Control** shown) const
{
    for (gui::Control* c = control; c; c = c->parent()) {
        const ParameterBinding* binding = frame.bindingOf(*c);
        if (!binding)
            continue;
        const auto* p = dynamic_cast<const ModulationTargetParameter*>(plugin().getParameter(binding->parameterIndex()));
        if (!p || !c->enabled.get())
            return -1;
        if (shown)
            *shown = c;
        return p->getTarget();
    }
    return -1;
}

int ModulationInterface::connect(int source, int target)
{
    std::string message;
    const int slot = plugin().addConnection(source, target, &message);
    if (slot < 0) {
        frame.showMessage(message.empty() ? std::string(ModulationMatrixPlugin::noFreeSlotsMessage) : message);
        return -1;
    }
    frame.refresh();
    slotArea->welcome(slot);
    frame.takeUndoSnapshot();
    return slot;
}

bool ModulationInterface::isHoverOnly(gui::Control* control) const
{
    for (gui::Control* c = control; c; c = c->parent())
        if (dynamic_cast<SourceSelectionBar::SourceButton*>(c) || dynamic_cast<SourceSelectionBar::SourceSelector*>(c) ||
            dynamic_cast<OstrandFilterButton*>(c))
            return true;
    return false;
}

bool ModulationInterface::activateHovered(gui::Control* control, gui::Point stagePoint)
{
    for (gui::Control* c = control; c; c = c->parent()) {
        if (auto* button = dynamic_cast<SourceSelectionBar::SourceButton*>(c)) {
            showSource(button->source());
            return true;
        }
        if (dynamic_cast<SourceSelectionBar::SourceSelector*>(c)) {
            // The selector lies over the buttons: the one under the pointer.
            const gui::Point p = sourceBar->fromRoot(stage->toRoot(stagePoint));
            if (SourceSelectionBar::SourceButton* under = sourceBar->buttonAt(p))
                showSource(under->source());
            return true;
        }
        if (auto* filterButton = dynamic_cast<OstrandFilterButton*>(c)) {
            if (filterButton->filter() != frame.activeFilter())
                frame.setActiveFilter(filterButton->filter());
            return true;
        }
    }
    return false;
}

void ModulationInterface::dragEntered(gui::DragObject&, gui::Control& target)
{
    if (!dynamic_cast<SourceSelectionBar::SourceSelector*>(&target))
        activateHovered(&target, stage->pointer());
}

void ModulationInterface::dragMoved(gui::DragObject&, gui::Control* target, gui::Point stagePoint)
{
    // Moving along the selector passes from one source's button to the next.
    if (dynamic_cast<SourceSelectionBar::SourceSelector*>(target))
        activateHovered(target, stagePoint);
    gui::Control* shown = nullptr;
    if (targetOf(target, &shown) >= 0) {
        if (auto* knob = dynamic_cast<gui::Knob*>(shown)) {
            const gui::Point origin = stage->fromRoot(knob->toRoot({0, 0}));
            const gui::KnobStyle& s = knob->style();
            const gui::PointF centre{static_cast<float>(origin.x) + s.centre.x, static_cast<float>(origin.y) + s.centre.y};
            const std::optional<gui::PointF> now = stage->snapped();
            if (!now || now->x != centre.x || now->y != centre.y)
                stage->snapTo(centre, s.outerRadius + 1.5f);
            return;
        }
    }
    if (stage->snapped())
        stage->snapTo(std::nullopt);
}

void ModulationInterface::dragDropped(gui::DragObject& object, gui::Control* target, gui::Point)
{
    stage->snapTo(std::nullopt);
    const auto* cable = dynamic_cast<ModulationDragStage::Cable*>(&object);
    if (!cable)
        return;
    const int t = targetOf(target);
    if (t >= 0) {
        connect(cable->source(), t);
        return;
    }
    for (gui::Control* c = target; c; c = c->parent())
        if (c == &slotArea->dropButton()) {
            slotArea->addSlotFrom(cable->source());
            return;
        }
    if (isHoverOnly(target))
        frame.showMessage(hoverOnlyMessage);
}

// --- Keeping up ---

void ModulationInterface::parametersChanged(bool, std::span<const int>)
{
    // Cheap enough to run on every change: nothing moves unless the number
    // of sources, steps or slots did.
    arrangeSources();
    for (int source : *shownSources)
        panelOf(source).update();
    slotArea->update();
    const ModulationSlotParameterSetList& slots = *plugin().getSlotList();
    std::array<int, SourceController::sourceCount> uses{};
    for (int slot = 0; slot < slots.getNumActive(); ++slot) {
        const int source = slots[slot].source.getSource();
        if (ModulationMatrix::isSource(source))
            ++uses[static_cast<std::size_t>(source)];
    }
    for (int source : *shownSources)
        panelOf(source).showSlotCount(uses[static_cast<std::size_t>(source)]);
}

void ModulationInterface::paint(gui::Canvas& canvas)
{
    if (shownSources && !shownSources->empty())
        return;
    canvas.drawText(*promptFont, "Add a modulation source with + SOURCE, then drag its jack onto any knob.",
                    gui::Rect{stripFrame.left, stripFrame.top, stripFrame.right, stripFrame.top + 40},
                    EditorStyle::dimText, gui::Align::Center);
}

void ModulationInterface::tick()
{
    sourceBar->updateLevels();
    slotArea->updateWarnings();
    for (ModulationRing* ring : knobRings)
        ring->update();
    liveDots->update();
}
