#include "framework/AbstractChannelEventReceiver.h"

#include "framework/MidiControllerMap.h"

#include <algorithm>

AbstractChannelEventReceiver::AbstractChannelEventReceiver(GenericPlugin* owner, MidiControllerMap* map)
    : controllerMap(map), plugin(owner)
{
}

AbstractChannelEventReceiver::~AbstractChannelEventReceiver() = default;

void AbstractChannelEventReceiver::rawMessage(int, int, int) {}

void AbstractChannelEventReceiver::channelPressure(float value)
{
    for (MidiListener* l : listeners)
        l->channelPressure(value);
}

void AbstractChannelEventReceiver::polyPressure(int key, float value)
{
    for (MidiListener* l : listeners)
        l->polyPressure(key, value);
}

void AbstractChannelEventReceiver::controlChange(int controller, int rawValue, float value)
{
    if (controllerMap) {
        int pending = learnTarget.exchange(-1, std::memory_order_relaxed);
        if (pending != -1)
            controllerMap->assign(controller, pending);
        int id = controllerMap->get(controller);
        if (id != MidiControllerMap::none)
            setParameterByMidi(id, value);
    }
    for (MidiListener* l : listeners) {
        l->controlChange(controller, rawValue, value);
        if (controller == 1)
            l->modWheel(value);
    }
}

void AbstractChannelEventReceiver::noteOff(int key, float velocity)
{
    for (MidiListener* l : listeners)
        l->noteOff(key, velocity);
}

void AbstractChannelEventReceiver::noteOn(int key, float velocity)
{
    for (MidiListener* l : listeners)
        l->noteOn(key, velocity);
}

void AbstractChannelEventReceiver::setParameterByMidi(int, float) {}

void AbstractChannelEventReceiver::pitchBend(float value)
{
    for (MidiListener* l : listeners)
        l->pitchBend(value);
}

void AbstractChannelEventReceiver::programChange(int, int) {}

void AbstractChannelEventReceiver::addListener(MidiListener* listener)
{
    if (listener && std::find(listeners.begin(), listeners.end(), listener) == listeners.end())
        listeners.push_back(listener);
}

void AbstractChannelEventReceiver::removeListener(MidiListener* listener)
{
    std::erase(listeners, listener);
}
