#include "framework/DefaultEventReceiver.h"

#include "framework/DefaultChannelEventReceiver.h"
#include "framework/GenericPlugin.h"

DefaultEventReceiver::DefaultEventReceiver(GenericPlugin& owner)
    : AbstractMusicEventReceiver(GenericPlugin::getSharedControllerMap()), plugin(owner)
{
    for (auto& slot : slots)
        slot.setOwner(this);
    setChannelReceiver(std::make_unique<DefaultChannelEventReceiver>(&plugin, getControllerMap()));
}

DefaultEventReceiver::~DefaultEventReceiver() = default;

void DefaultEventReceiver::setMidiLearnTarget(int id)
{
    if (current)
        current->setLearnTarget(id);
}

void DefaultEventReceiver::setChannelReceiver(std::unique_ptr<AbstractChannelEventReceiver> receiver)
{
    slots[static_cast<std::size_t>(currentSlot)].set(receiver.get());
    current = std::move(receiver);
}

