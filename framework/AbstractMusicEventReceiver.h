#pragma once

#include "framework/AbstractChannelEventReceiver.h"
#include "framework/Property.h"

#include <array>
#include <memory>

class GenericPlugin;

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

// One channel receiver, by default in slot 0, so it hears every channel.
class DefaultEventReceiver : public AbstractMusicEventReceiver, public PropertyOwner {
public:
    explicit DefaultEventReceiver(GenericPlugin& plugin);
    ~DefaultEventReceiver() override;

    void setMidiLearnTarget(int id) override;

    // While building: replaces (and deletes) the channel receiver and puts
    // the new one in the current slot.
    void setChannelReceiver(std::unique_ptr<AbstractChannelEventReceiver> receiver);
    AbstractChannelEventReceiver* getCurrentReceiver() const { return current.get(); }
    // While building: moves the receiver to another slot (0 all channels,
    // n for MIDI channel n). A slot outside 0..16 is ignored.
    void setChannelSlot(int slot);
    int getChannelSlot() const { return currentSlot; }

    void propertyChanged(PropertyBase&) override {}

protected:
    GenericPlugin& getPlugin() const { return plugin; }

private:
    std::unique_ptr<AbstractChannelEventReceiver> current;
    GenericPlugin& plugin;
    int currentSlot = 0;
};
