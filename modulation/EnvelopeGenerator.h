#pragma once

#include "framework/Property.h"
#include "modulation/EnvelopeCurveTable.h"
#include "modulation/SourceInput.h"
#include "modulation/Triggering.h"
#include "wave/MuteController.h"
#include "wave/RestHold.h"
#include "wave/Source.h"

#include <cstdint>
#include <vector>

class Trigger;

// An attack-decay-sustain-release envelope between 0 and 1, started by MIDI
// notes or by an audio level crossing a threshold (a Trigger). The four
// times and the sustain level are signals (the EG's modulation targets),
// read at control rate: every 64 samples and at every start.
//
// A start while the envelope runs restarts the attack from the current
// level, and a release starts from the current level, so the output never
// jumps.
//
// Threads: everything here runs on the audio thread: process, the note
// hooks (MIDI is decoded between sub-blocks) and the triggering property,
// which its parameter sets there. Listeners are added while building.
class EnvelopeGenerator : public wave::Source, public PropertyOwner, public wave::MuteController {
public:
    // Shortest and longest stage times in seconds (64 samples at 44.1 kHz).
    static constexpr float minimumTime = 0.001451247f;
    static constexpr float maximumTime = 100.0f;
    // Samples between two reads of the inputs.
    static constexpr int inputInterval = 64;

    // The default stage shapes: straight lines.
    struct DefaultUpCurve {
        static float value(float x) { return x; }
    };
    struct DefaultDownCurve {
        static float value(float x) { return 1.0f - x; }
    };
    // The shapes of the four stages, shared by all generators.
    struct CurveSet {
        EnvelopeCurveTable attack;
        EnvelopeCurveTable decay;
        EnvelopeCurveTable rise; // towards a sustain above the level
        EnvelopeCurveTable release;
        static const CurveSet& defaults();
    };

    // Hears the gate, at most every 0.1 s (editor display). Audio thread.
    class Listener {
    public:
        virtual void gateChanged(EnvelopeGenerator& eg, bool gate) = 0;

    protected:
        ~Listener() = default;
    };

    enum State { idle = 0, running = 1, released = 2 };

    // Control thread, while building. The own times are the minimum, the
    // own sustain 1. The trigger (audio triggering) may be set later.
    explicit EnvelopeGenerator(wave::Graph& graph, Trigger* trigger = nullptr);
    ~EnvelopeGenerator() override;

    // Changing it drops a pending start, releases a held gate, forces an
    // input read and enables the trigger unless MIDI starts the envelope.
    Property<Triggering> triggering;

    // Seconds (attack, decay, release) and level (sustain) per sample.
    SourceInput& getAttackInput() { return attackInput; }
    SourceInput& getDecayInput() { return decayInput; }
    SourceInput& getSustainInput() { return sustainInput; }
    SourceInput& getReleaseInput() { return releaseInput; }

    void setTrigger(Trigger* t);
    Trigger* getTrigger() const { return trigger; }

    // Note hooks of the effect's held-note count; they act only while the
    // triggering is MIDI. A start takes effect with the next sample.
    void midiStart();
    void midiRelease();

    // Audio thread.
    int process(wave::Block& target, int numSamples, int flags) override;
    // Outside processing (bypass): back to silence, gate closed.
    void reset() override;
    // Silent: not running and no start waiting.
    bool isMuted() const override;

    float getLevel() const { return level; }
    bool isGateOpen() const { return gate; }
    bool isStartRequested() const { return startRequest; }
    int getState() const { return state; }
    // The values in use (seconds, seconds, level, seconds).
    float getAttack() const { return attack; }
    float getDecay() const { return decay; }
    float getSustain() const { return sustain; }
    float getRelease() const { return release; }

    // While building (allocates).
    void addListener(Listener* listener);
    void removeListener(Listener* listener);

    void propertyChanged(PropertyBase& property) override;

private:
    void readInputs(int k);
    void start();
    void releaseGate();
    void renderTo(float* out, int end);
    void renderStretch(float* out, int n);

    SourceInput attackInput;
    SourceInput decayInput;
    SourceInput sustainInput;
    SourceInput releaseInput;
    // This block's input samples while process runs.
    const float* attackSamples = nullptr;
    const float* decaySamples = nullptr;
    const float* sustainSamples = nullptr;
    const float* releaseSamples = nullptr;
    // While all four rest, the samples above hold, one value each, and once
    // they were read there is nothing new in them.
    wave::RestHold inputsHeld;
    bool inputsAtRest = false;
    bool inputsReadAtRest = false;
    float attack = minimumTime;
    float decay = minimumTime;
    float sustain = 1.0f;
    float release = minimumTime;
    bool startRequest = false;
    bool gate = false;
    int state = idle;
    float level = 0.0f;
    float startLevel = 0.0f;
    float releaseLevel = 0.0f;
    float decaySpan = 0.0f;
    int attackSamplesLeft = 0;
    double attackPosition = 0.0;
    double decayPosition = 0.0;
    double releasePosition = 1.0;
    int samplesToNextRead = 0;
    int renderPosition = 0;
    double sampleRate = 44100.0;
    bool onlySilence = true;
    Trigger* trigger;
    const CurveSet& curves;
    std::vector<Listener*> listeners;
    bool noticedGate = false;
    int samplesSinceNotice = 0;
};
