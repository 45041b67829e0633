#pragma once

#include <string>

class GenericPlugin;

// A MIDI-only parameter: no value of its own, no host control, but a MIDI
// controller can be learned for it. It registers with the plug-in when
// built and gets an index from 0x100000 up.
class MidiVirtualPluginParameter {
public:
    MidiVirtualPluginParameter(GenericPlugin& plugin, std::string name);
    virtual ~MidiVirtualPluginParameter();
    MidiVirtualPluginParameter(const MidiVirtualPluginParameter&) = delete;
    MidiVirtualPluginParameter& operator=(const MidiVirtualPluginParameter&) = delete;

    // A controller moved to x (0..1). Runs where MIDI is decoded, the audio
    // thread, so implementations must not allocate.
    virtual void setNormalized(float x) = 0;

    const std::string& getName() const { return virtualName; }
    int getIndex() const { return virtualIndex; }

private:
    std::string virtualName;
    int virtualIndex;
};
