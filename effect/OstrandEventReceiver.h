#pragma once

#include "framework/DefaultChannelEventReceiver.h"
#include "framework/DefaultEventReceiver.h"

class OstrandPlugin;

// The effect's channel receiver: notes reach the plug-in's note handling
// (held-note count, XLFO restarts, envelope starts and releases) before the
// MIDI listeners (the MIDI sources) hear them. Runs where MIDI is decoded,
// the audio thread between sub-blocks, so a note acts at its own sample.
class OstrandChannelEventReceiver : public DefaultChannelEventReceiver {
public:
    explicit OstrandChannelEventReceiver(OstrandPlugin& plugin);

    void noteOff(int key, float velocity) override;
    void noteOn(int key, float velocity) override;

private:
    OstrandPlugin& effect;
};

// The effect's routing record: one OstrandChannelEventReceiver for all
// channels.
class OstrandEventReceiver : public DefaultEventReceiver {
public:
    explicit OstrandEventReceiver(OstrandPlugin& plugin);

    OstrandChannelEventReceiver& getOstrandReceiver() const { return *receiver; }

private:
    OstrandChannelEventReceiver* receiver;
};
