#pragma once

#include "framework/MidiListener.h"
#include "framework/Property.h"
#include "wave/ParameterRamp.h"
#include "wave/Source.h"

#include <array>

// Turns one kind of incoming MIDI data into a smoothed modulation signal:
// the mod wheel, pitch bend, note velocity, aftertouch, the key of the last
// note (KB Track) or any controller. It remembers the last value of every
// kind, so choosing another input moves the output to that control's
// current position at once (gliding, as every change does).
//
// Threads: the listener operations run where MIDI is decoded (the audio
// thread, between sub-blocks) and only store values and move the ramp's
// target; the properties are set there by their parameters.
class MidiModSource : public wave::Source, public MidiListener, public PropertyOwner {
public:
    enum class MidiInput { ModWheel = 0, PitchBend, Velocity, Aftertouch, KBTrack, Controller };
    static constexpr const char* midiInputOptions =
        "Mod Wheel,Pitch Bend,Velocity,Aftertouch,KB Track,Controller";

    // Entries of the stored values: 0..127 the controllers, then these.
    static constexpr int modWheelEntry = 128;
    static constexpr int pitchBendEntry = 129;
    static constexpr int velocityEntry = 130;
    static constexpr int aftertouchEntry = 131;
    static constexpr int keyEntry = 132;
    static constexpr int entryCount = 133;

    // Control thread, while building. Output 0, Mod Wheel selected.
    explicit MidiModSource(wave::Graph& graph);

    Property<MidiInput> input;
    // Used when the input is Controller; 0..127.
    Property<int> controllerNumber;

    // The last value received for an entry (0 when none yet).
    float getStoredValue(int entry) const;
    // The stored value of the selected input: where the output goes.
    float getSelectedValue() const;
    ParameterRamp& getRamp() { return ramp; }

    // Renders the ramp; the block is constant once the ramp has arrived.
    int process(wave::Block& target, int numSamples, int flags) override;

    void channelPressure(float value) override;
    void polyPressure(int note, float value) override;
    void controlChange(int controller, int rawValue, float value) override;
    void modWheel(float value) override;
    void noteOn(int note, float velocity) override;
    void pitchBend(float value) override;

    void propertyChanged(PropertyBase& property) override;

private:
    void store(int entry, float value);
    int selectedEntry() const;

    ParameterRamp ramp;
    std::array<float, entryCount> values{};
};
