#pragma once

// Receives decoded MIDI from a channel event receiver. Values arrive scaled:
// velocities, pressures and controller values as value / 127, pitch bend
// from -0.5 to +0.5. Called on the thread that decodes MIDI (the audio
// thread, between sub-blocks); implementations only store values.
class MidiListener {
public:
    virtual ~MidiListener() = default;
    virtual void channelPressure(float) {}
    virtual void polyPressure(int /*note*/, float /*value*/) {}
    virtual void controlChange(int /*controller*/, int /*rawValue*/, float /*value*/) {}
    virtual void modWheel(float) {}
    virtual void noteOff(int /*note*/, float /*velocity*/) {}
    virtual void noteOn(int /*note*/, float /*velocity*/) {}
    virtual void pitchBend(float) {}
};
