#include "framework/DefaultChannelEventReceiver.h"

#include "framework/GenericPlugin.h"

void DefaultChannelEventReceiver::setParameterByMidi(int index, float normalized)
{
    if (GenericPlugin* p = getPlugin())
        p->setParameterByMidi(index, normalized);
}

void DefaultChannelEventReceiver::programChange(int bank, int program)
{
    if (GenericPlugin* p = getPlugin())
        p->programChange(bank, program);
}
