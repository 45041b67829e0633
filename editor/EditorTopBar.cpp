#include "editor/EditorTopBar.h"

#include "editor/EditorButton.h"
#include "editor/EditorImages.h"
#include "editor/EditorStyle.h"

namespace {

constexpr int buttonTop = 6;
constexpr int buttonHeight = 22;

gui::Rect at(int x, int width) { return gui::Rect::ofSize(x, buttonTop, width, buttonHeight); }

} // namespace

EditorTopBar::EditorTopBar(gui::Control& parent, int width, const EditorImages& images)
    : gui::Control(parent, gui::Rect::ofSize(0, 0, width, height)),
      undo(add<EditorButton>(at(116, 24), std::string(), &images.undo)),
      redo(add<EditorButton>(at(142, 24), std::string(), &images.redo)),
      compare(add<EditorButton>(at(176, 34), "A")), copy(add<EditorButton>(at(212, 42), "Copy")),
      previous(add<EditorButton>(at(264, 22), std::string(), &images.previous)),
      presets(add<EditorButton>(at(288, 176), std::string())),
      next(add<EditorButton>(at(466, 22), std::string(), &images.next)),
      help(add<EditorButton>(at(496, 42), "Help")), learn(add<EditorButton>(at(542, 60), "MIDI Learn")),
      midi(add<EditorButton>(at(604, 30), "MIDI"))
{
    undo.hint = "The Undo button undoes the last change you made to the plug-in, for example when adjusting a knob "
                "or loading a preset.";
    redo.hint = "The Redo button cancels the last undo command.";
    compare.hint = "The A/B button switches between two plug-in states: A and B. Using this, you can quickly "
                   "compare between two different states of the plug-in without having to save a preset.";
    copy.hint = "The Copy button works together with the A/B button. It saves the current plug-in settings to both "
                "the A and B states. This enables you to switch back to the saved state later using the A/B button.";
    previous.hint = "The Previous Preset button selects the previous preset in the presets menu.";
    presets.hint = "The Presets button opens the presets menu, where you can open and save presets. For more "
                   "information, see Presets in the help file.";
    next.hint = "The Next Preset button selects the next preset in the presets menu.";
    learn.hint = "The MIDI Learn button switches MIDI learn mode on and off. In learn mode, click a control, then "
                 "move a knob or slider on your MIDI controller: from then on it moves that control.";
    midi.hint = "The MIDI button opens the MIDI menu, which switches MIDI control on or off, clears learned "
                "controllers, and saves or reverts the controller assignments.";
    presets.align = gui::Align::Left;
    presets.setFont(EditorStyle::valueFont());
    compare.setFont(EditorStyle::titleFont());
}

void EditorTopBar::show(const State& state)
{
    undo.dimmed = !state.canUndo;
    redo.dimmed = !state.canRedo;
    // The slot being heard; a dot after it when it changed since Copy.
    compare.caption = std::string(state.compareSlot == 0 ? "A" : "B") + (state.compareChanged ? "\xE2\x80\xA2" : "");
    compare.lit = state.compareSlot == 1;
    const std::string name = state.presetName.empty() ? std::string("(no preset)") : state.presetName;
    presets.caption = state.presetModified ? name + " *" : name;
}
