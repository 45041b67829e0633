#pragma once

#include <array>
#include <cstdint>

class AbstractMusicEventReceiver;

// Anything that takes raw three-byte MIDI messages.
class MidiMessageReceiver {
public:
    virtual ~MidiMessageReceiver() = default;
    virtual void receive(int status, int data1, int data2) = 0;
};

// Hears the system messages the decoder handles (only system reset).
class MidiSystemListener {
public:
    virtual ~MidiSystemListener() = default;
    virtual void systemReset() = 0;
};

// Turns raw channel messages into calls on the plug-in's channel event
// receivers. Every channel message goes to the all-channels slot first and
// then to the slot of its own channel; each slot keeps the bank that bank
// select (controllers 0 and 32) built for its next program change.
// Controller 123 (all notes off) becomes a note off for key 0.
// Runs on the audio thread; allocates nothing.
class MidiDecoder : public MidiMessageReceiver {
public:
    static constexpr float valueScale = 0.007874015718698502f;      // 1 / 127
    static constexpr float pitchBendScale = 6.103888154029846e-05f; // 1 / 16383

    explicit MidiDecoder(AbstractMusicEventReceiver* routingRecord = nullptr) : routing(routingRecord) {}

    void receive(int status, int data1, int data2) override;

    void setRouting(AbstractMusicEventReceiver* r) { routing = r; }
    void setSystemListener(MidiSystemListener* l) { systemListener = l; }
    // The 14-bit bank of a channel slot (0 all channels, 1..16).
    int getBank(int slot) const { return slot >= 0 && slot < 17 ? banks[static_cast<std::size_t>(slot)] : 0; }

private:
    void dispatch(int slot, int status, int data1, int data2);

    AbstractMusicEventReceiver* routing;
    MidiSystemListener* systemListener = nullptr;
    std::array<int, 17> banks{};
};
