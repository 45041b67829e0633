#pragma once

#include "framework/GenericPlugin.h"
#include "framework/StateList.h"

// The last 100 snapshots of the plug-in's settings in a ring. The editor
// pushes a snapshot after every edit that should be undoable (the end of a
// gesture on a control); undo and redo load the neighbouring snapshots.
// Up to 99 steps back are possible: the ring keeps the current snapshot too.
// Editor thread only.
class GenericPlugin::UndoHistory {
public:
    static constexpr int size = 100;

    explicit UndoHistory(GenericPlugin& owner) : plugin(owner), states(owner, size) {}
    virtual ~UndoHistory() = default;
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;

    // Takes a snapshot after the current one; the redo steps are gone.
    void push(const std::string& name);
    void undo();
    void redo();
    // The first snapshot, "Initial state", when the history is still empty.
    void pushInitial();
    // Brings the current snapshot up to the plug-in's settings without
    // taking a step: changes made outside the editor (the host, automation,
    // MIDI) become part of the state an undo returns to, instead of being
    // undone with the next edit.
    void updateCurrent();

    bool canUndo() const { return undoCount > 0; }
    bool canRedo() const { return redoCount > 0; }
    int getUndoCount() const { return undoCount; }
    int getRedoCount() const { return redoCount; }
    int getPosition() const { return position; }
    const StateRecord& current() const { return states[position]; }

private:
    void step(int delta);

    int redoCount = 0;
    int undoCount = 0;
    int position = 0;
    bool holdsSnapshot = false;
    GenericPlugin& plugin;
    StateList states;
};
