#pragma once

#include "gui/Control.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace gui {
class Text;
}
class EditorButton;
class ModulationInterface;
class SlotInterface;

// The caption above the slots: "Slots" with the number in use, or, while
// the area lists only the slots of one source or one target, "Slots
// connected to source XLFO 1" / "... target Filter 1 Freq".
class SlotContextBar : public gui::Control {
public:
    SlotContextBar(gui::Control& parent, const gui::Rect& frame);
    void setText(const std::string& text, bool narrowed);
    const std::string& text() const { return shown; }
    void paint(gui::Canvas& canvas) override;

private:
    std::unique_ptr<gui::Text> font;
    std::string shown;
    bool narrow = false;
};

// The slot area: one row per slot in use (all of them, or only those of one
// source or one target), scrolled vertically, and the buttons Show All
// Slots, Sort Slots, the drop place (a source dropped there makes a slot
// whose target is chosen afterwards) and Add Slot.
class SlotController : public gui::Control {
public:
    static constexpr int headerHeight = 17;
    static constexpr int slotCount = 24;

    enum class Filter { all, source, target };

    SlotController(gui::Control& parent, const gui::Rect& frame, ModulationInterface& area);
    ~SlotController() override;

    ModulationInterface& area() const { return owner; }
    SlotInterface& row(int slot) const { return *rows[static_cast<std::size_t>(slot)]; }
    SlotContextBar& contextBar() const { return *context; }
    EditorButton& showAllButton() const { return *showAll; }
    EditorButton& sortButton() const { return *sort; }
    EditorButton& dropButton() const { return *drop; }
    EditorButton& addButton() const { return *adder; }

    // The slots listed now, in slot order.
    const std::vector<int>& listed() const { return shown; }
    Filter filter() const { return narrowing; }
    int filterIndex() const { return narrowedTo; }

    // --- Commands (each an undo step) ---
    // An empty slot at the end.
    void addSlot();
    // Clears the slot and takes it out; the later slots move up.
    void removeSlot(int slot);
    // Groups the slots by source, then by target.
    void sortSlots();
    // A slot from the source with no target yet (the drop place).
    int addSlotFrom(int source);

    // --- The view ---
    void narrowToSource(int source);
    void narrowToTarget(int target);
    void showAllSlots();
    // Scrolls so the slot's row is in view.
    void reveal(int slot);
    // A new slot: listed (leaving a narrowed view that would hide it),
    // revealed, and its row slides in.
    void welcome(int slot);

    // Lists the rows again after the slots changed; reads validity.
    void update();
    // Reads the slots' validity (published by the audio thread).
    void updateWarnings();

    int scroll() const { return offset; }
    void scrollTo(int y);

    void paint(gui::Canvas& canvas) override;
    void mouseWheel(gui::Point local, int modifiers, float amount) override;

private:
    bool matches(int slot) const;
    void place();
    int viewHeight() const { return height() - headerHeight; }

    ModulationInterface& owner;
    SlotContextBar* context = nullptr;
    EditorButton* showAll = nullptr;
    EditorButton* sort = nullptr;
    EditorButton* drop = nullptr;
    EditorButton* adder = nullptr;
    gui::Control* list = nullptr;
    std::array<SlotInterface*, slotCount> rows{};
    std::vector<int> shown;
    Filter narrowing = Filter::all;
    int narrowedTo = -1;
    int offset = 0;
};
