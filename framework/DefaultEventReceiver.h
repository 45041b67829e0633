#pragma once

#include "framework/AbstractMusicEventReceiver.h"
#include "framework/Property.h"

#include <memory>

class GenericPlugin;

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

    void propertyChanged(PropertyBase&) override {}

protected:
    GenericPlugin& getPlugin() const { return plugin; }

private:
    std::unique_ptr<AbstractChannelEventReceiver> current;
    GenericPlugin& plugin;
    int currentSlot = 0;
};
