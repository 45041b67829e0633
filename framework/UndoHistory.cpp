#include "framework/UndoHistory.h"

#include "framework/CompareStates.h"

#include <algorithm>

void GenericPlugin::UndoHistory::push(const std::string& name)
{
    position = (position + 1) % size;
    StateRecord& record = states[position];
    record.name = name;
    plugin.saveState(record);
    redoCount = 0;
    // The first snapshot has nothing before it to go back to; counting it
    // would let an undo land on a record that was never filled.
    undoCount = holdsSnapshot ? std::min(undoCount + 1, size - 1) : 0;
    holdsSnapshot = true;
}

void GenericPlugin::UndoHistory::step(int delta)
{
    position = (position + size + delta) % size;
    const StateRecord& record = states[position];
    CompareStates* compare = plugin.getCompareStates();
    if (compare)
        compare->select(record.compareIndex);
    plugin.loadState(record);
    if (compare)
        compare->setChangedByUndo(true);
}

void GenericPlugin::UndoHistory::undo()
{
    if (undoCount <= 0)
        return;
    step(-1);
    --undoCount;
    redoCount = std::min(redoCount + 1, size - 1);
}

void GenericPlugin::UndoHistory::redo()
{
    if (redoCount <= 0)
        return;
    step(+1);
    --redoCount;
    undoCount = std::min(undoCount + 1, size - 1);
}

void GenericPlugin::UndoHistory::updateCurrent()
{
    if (!holdsSnapshot)
        return;
    StateRecord& record = states[position];
    const std::string name = record.name;
    plugin.saveState(record);
    record.name = name;
}

void GenericPlugin::UndoHistory::pushInitial()
{
    if (position == 0 && undoCount == 0 && redoCount == 0)
        push("Initial state");
}
