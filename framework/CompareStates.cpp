#include "framework/CompareStates.h"

void GenericPlugin::CompareStates::select(int index)
{
    index &= 1;
    if (index == current)
        return;
    StateRecord& leaving = states[current];
    leaving.name.clear();
    states.getPlugin().saveState(leaving);
    current = index;
}

void GenericPlugin::CompareStates::toggle()
{
    select((current + 1) % 2);
    states.getPlugin().loadState(states[current]);
}

void GenericPlugin::CompareStates::copyToOther()
{
    StateRecord& other = states[(current + 1) % 2];
    other.name.clear();
    states.getPlugin().saveState(other);
    changedByUndo = false;
}

void GenericPlugin::CompareStates::initialize()
{
    if (initialized)
        return;
    states.getPlugin().saveState(states[current]);
    copyToOther();
    initialized = true;
}
