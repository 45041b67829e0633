#pragma once

#include "framework/GenericPlugin.h"
#include "framework/StateList.h"

// A/B comparison: two snapshot slots. Switching saves what is being heard
// into the slot being left and recalls the other one. Editor thread only.
class GenericPlugin::CompareStates {
public:
    explicit CompareStates(GenericPlugin& plugin) : states(plugin, 2) {}
    virtual ~CompareStates() = default;
    CompareStates(const CompareStates&) = delete;
    CompareStates& operator=(const CompareStates&) = delete;

    // Makes slot index (0 = A, 1 = B) current after saving the current
    // settings into the slot being left. Does not load.
    void select(int index);
    // Saves into the current slot and loads the other one.
    void toggle();
    // Both slots now hold the current settings.
    void copyToOther();
    // Once, when the editor first opens: both slots take the current settings.
    void initialize();

    int getCurrent() const { return current; }
    bool isInitialized() const { return initialized; }
    // Set when an undo or redo step changed the settings, cleared by
    // copyToOther; the editor shows it.
    bool wasChangedByUndo() const { return changedByUndo; }
    void setChangedByUndo(bool on) { changedByUndo = on; }

private:
    int current = 0;
    bool changedByUndo = false;
    bool initialized = false;
    StateList states;
};
