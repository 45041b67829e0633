#pragma once

#include "gui/Control.h"

#include <string>

class EditorButton;
struct EditorImages;

// The bar along the top of the editor, left to right: Undo, Redo, A/B,
// Copy, Previous Preset, the Presets button (which shows the current
// preset's name), Next Preset, Help, MIDI Learn and the MIDI menu. The
// frame connects the buttons to its commands and tells the bar what to show.
class EditorTopBar : public gui::Control {
public:
    static constexpr int height = 34;

    EditorTopBar(gui::Control& parent, int width, const EditorImages& images);

    EditorButton& undo;
    EditorButton& redo;
    EditorButton& compare;
    EditorButton& copy;
    EditorButton& previous;
    EditorButton& presets;
    EditorButton& next;
    EditorButton& help;
    EditorButton& learn;
    EditorButton& midi;

    // What the bar shows: whether undo and redo can step, which A/B slot is
    // current (and whether it changed since Copy), the preset's name and
    // whether it changed since it was loaded or saved.
    struct State {
        bool canUndo = false;
        bool canRedo = false;
        int compareSlot = 0;
        bool compareChanged = false;
        std::string presetName;
        bool presetModified = false;
    };
    void show(const State& state);
};
