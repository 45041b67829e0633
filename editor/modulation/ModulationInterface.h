#pragma once

#include "editor/modulation/ModulationImages.h"
#include "editor/modulation/SourceController.h"
#include "editor/modulation/TargetModulation.h"
#include "gui/DragStage.h"

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace gui {
class Text;
class Timer;
class ValueControl;
}
class EditorButton;
class MidiLearnController;
class ModulatedFilterDots;
class ModulationDragStage;
class ModulationRing;
class ModulationScrollStrip;
class OstrandInterface;
class OstrandPlugin;
class SlotController;
class SourceDragButton;
class SourceInterface;
class SourceSelectionBar;

// The modulation area at the bottom of the editor: the source bar with the
// Add Source button along the top, the strip of source panels below it on
// the left and the slot area on the right. It also owns what shows
// modulation elsewhere: the stage on which a source's cable is dragged to a
// knob, the rings on knobs that are modulation targets, and the live dots
// on the filter display.
//
// Everything changes through parameters: the source lists (adding,
// removing), the slots (through the matrix's parameter controller) and the
// knobs' bindings, so the host, presets and undo see every edit. What the
// audio thread computes (source levels, slot validity and depths, live
// target values) is read from what it publishes, on a timer.
class ModulationInterface : public gui::Control, public gui::DragManager::Listener {
public:
    // Layout inside the area (626 x 128 in the editor).
    static constexpr gui::Rect barFrame = {76, 3, 558, 16};
    static constexpr gui::Rect addSourceFrame = {562, 2, 620, 17};
    static constexpr gui::Rect stripFrame = {4, 20, 372, 125};
    static constexpr gui::Rect slotFrame = {376, 20, 622, 125};
    // The meters and rings follow the audio at about 25 frames a second.
    static constexpr int tickInterval = 40;

    static constexpr const char* hoverOnlyMessage =
        "You can only hover over this item, not drag a source to it. Instead, drag the source to a target knob "
        "to create a modulation connection.";

    ModulationInterface(gui::Control& area, OstrandInterface& editor);
    ~ModulationInterface() override;

    OstrandInterface& editor() const { return frame; }
    OstrandPlugin& plugin() const;
    const ModulationImages& images() const { return pictures; }
    SourceController& sources() { return catalogue; }
    const TargetModulation& modulation() const { return sweeps; }
    SourceSelectionBar& bar() const { return *sourceBar; }
    ModulationScrollStrip& strip() const { return *panels; }
    SlotController& slots() const { return *slotArea; }
    ModulationDragStage& dragStage() const { return *stage; }
    EditorButton& addSourceButton() const { return *addButton; }
    SourceInterface& panelOf(int source) const { return *sourcePanels[static_cast<std::size_t>(source)]; }
    const std::vector<ModulationRing*>& rings() const { return knobRings; }
    MidiLearnController& midiLearn() const { return *learnMode; }

    // --- Sources ---

    // Brings the source's panel into the middle of the strip.
    void showSource(int source, bool glide = true);
    void openAddSourceMenu();
    // A source of the kind, with its "Default" preset, shown; an undo step.
    void addSource(int kind);
    void removeSource(int source);

    // --- Connections ---

    // Starts dragging a cable from a source's drag button (point in the
    // button's coordinates).
    void beginConnection(SourceDragButton& button, gui::Point local);
    // The modulation target a control stands for: the target of the
    // parameter bound to it or to the nearest parent with a binding; -1 for
    // none. `shown` receives the bound control.
    int targetOf(gui::Control* control, gui::Control** shown = nullptr) const;
    // A new slot from source to target in the first free place, its panel
    // brought in, and an undo step. With every slot in use nothing changes,
    // the no-free-slots message shows and the result is -1.
    int connect(int source, int target);

    // --- Keeping up ---

    // The frame's parameters changed (all of them, or those listed).
    void parametersChanged(bool all, std::span<const int> indices);
    // Re-reads what the audio thread published: levels, validity, rings.
    void tick();

    // Without sources the strip says how to begin.
    void paint(gui::Canvas& canvas) override;

    // gui::DragManager::Listener
    void dragEntered(gui::DragObject& object, gui::Control& target) override;
    void dragMoved(gui::DragObject& object, gui::Control* target, gui::Point stagePoint) override;
    void dragDropped(gui::DragObject& object, gui::Control* target, gui::Point stagePoint) override;

private:
    void buildPanels();
    void attachRings();
    // Shows the panels and buttons of the sources in use; true when that
    // changed.
    bool arrangeSources();
    // A control that may only be hovered during a drag (a source button, a
    // filter button) is activated: its panel or its filter shows.
    bool activateHovered(gui::Control* control, gui::Point stagePoint);
    bool isHoverOnly(gui::Control* control) const;

    OstrandInterface& frame;
    ModulationImages pictures;
    SourceController catalogue;
    TargetModulation sweeps;
    SourceSelectionBar* sourceBar = nullptr;
    EditorButton* addButton = nullptr;
    ModulationScrollStrip* panels = nullptr;
    SlotController* slotArea = nullptr;
    ModulationDragStage* stage = nullptr;
    ModulatedFilterDots* liveDots = nullptr;
    MidiLearnController* learnMode = nullptr;
    std::array<SourceInterface*, SourceController::sourceCount> sourcePanels{};
    std::vector<ModulationRing*> knobRings;
    // The sources whose panels show; none yet before the first arrangement.
    std::optional<std::vector<int>> shownSources;
    std::unique_ptr<gui::Timer> ticker;
    std::unique_ptr<gui::Text> promptFont;
};
