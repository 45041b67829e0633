#pragma once

#include "framework/MidiListener.h"

#include <atomic>
#include <vector>

class GenericPlugin;
class MidiControllerMap;

// Receives the decoded messages of one MIDI channel slot and hands them on
// to its MIDI listeners. Controller values also drive learned parameters
// through the shared controller map. Called by the MIDI decoder on the
// audio thread, between sub-blocks.
class AbstractChannelEventReceiver {
public:
    AbstractChannelEventReceiver(GenericPlugin* plugin, MidiControllerMap* map);
    virtual ~AbstractChannelEventReceiver();
    AbstractChannelEventReceiver(const AbstractChannelEventReceiver&) = delete;
    AbstractChannelEventReceiver& operator=(const AbstractChannelEventReceiver&) = delete;

    // The undecoded message; only the all-channels slot gets it. Nothing here.
    virtual void rawMessage(int status, int data1, int data2);
    virtual void channelPressure(float value);
    virtual void polyPressure(int key, float value);
    // Completes a pending learn, moves the learned parameter, then tells the
    // listeners (and, for controller 1, their mod wheel too).
    virtual void controlChange(int controller, int rawValue, float value);
    virtual void noteOff(int key, float velocity);
    virtual void noteOn(int key, float velocity);
    // Moves a learned parameter; nothing here.
    virtual void setParameterByMidi(int index, float normalized);
    virtual void pitchBend(float value);
    // Nothing here; the default receiver selects a preset.
    virtual void programChange(int bank, int program);

    // While building, before MIDI flows.
    void addListener(MidiListener* listener);
    void removeListener(MidiListener* listener);

    // Editor thread: the next controller that moves learns this parameter id
    // (-1 cancels).
    void setLearnTarget(int id) { learnTarget.store(id, std::memory_order_relaxed); }
    int getLearnTarget() const { return learnTarget.load(std::memory_order_relaxed); }

    GenericPlugin* getPlugin() const { return plugin; }
    MidiControllerMap* getControllerMap() const { return controllerMap; }

protected:
    const std::vector<MidiListener*>& getListeners() const { return listeners; }

private:
    std::vector<MidiListener*> listeners;
    MidiControllerMap* controllerMap;
    std::atomic<int> learnTarget{-1};
    GenericPlugin* plugin;
};
