#pragma once

#include "framework/AbstractChannelEventReceiver.h"
#include "framework/Property.h"

#include <array>

// The plug-in's MIDI routing record: which channel receiver gets the
// messages of each channel slot (slot 0 all channels, slots 1..16 MIDI
// channels 1..16), and the shared controller map they use.
class AbstractMusicEventReceiver {
public:
    static constexpr int slotCount = 17;

    explicit AbstractMusicEventReceiver(MidiControllerMap* map) : controllerMap(map) {}
    virtual ~AbstractMusicEventReceiver() = default;
    AbstractMusicEventReceiver(const AbstractMusicEventReceiver&) = delete;
    AbstractMusicEventReceiver& operator=(const AbstractMusicEventReceiver&) = delete;

    // Editor thread: the next controller moved learns this parameter id.
    virtual void setMidiLearnTarget(int id) = 0;

    // The receiver of a slot, or null (also for a slot outside 0..16).
    AbstractChannelEventReceiver* getChannelReceiver(int slot) const
    {
        return slot >= 0 && slot < slotCount ? slots[static_cast<std::size_t>(slot)].get() : nullptr;
    }
    MidiControllerMap* getControllerMap() const { return controllerMap; }

protected:
    std::array<Property<AbstractChannelEventReceiver*>, slotCount> slots;

private:
    MidiControllerMap* controllerMap;
};
