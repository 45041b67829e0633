#include "effect/OstrandEventReceiver.h"

#include "effect/OstrandPlugin.h"

#include <memory>

OstrandChannelEventReceiver::OstrandChannelEventReceiver(OstrandPlugin& owner)
    : DefaultChannelEventReceiver(&owner, GenericPlugin::getSharedControllerMap()), effect(owner)
{
}

void OstrandChannelEventReceiver::noteOff(int key, float velocity)
{
    effect.noteOff(key, velocity);
    DefaultChannelEventReceiver::noteOff(key, velocity);
}

void OstrandChannelEventReceiver::noteOn(int key, float velocity)
{
    effect.noteOn(key, velocity);
    DefaultChannelEventReceiver::noteOn(key, velocity);
}

OstrandEventReceiver::OstrandEventReceiver(OstrandPlugin& owner) : DefaultEventReceiver(owner)
{
    auto own = std::make_unique<OstrandChannelEventReceiver>(owner);
    receiver = own.get();
    setChannelReceiver(std::move(own));
}
