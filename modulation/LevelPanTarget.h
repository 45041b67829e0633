#pragma once

#include "modulation/ModulationMatrix.h"
#include "wave/Component.h"
#include "wave/FloatParameterSource.h"
#include "wave/MultiProducer.h"

// Combines two modulation targets A and B into one value per channel:
//   GainPan:       first = a × (1 − max(b, 0)), second = a × (1 + min(b, 0))
//   SumDifference: first = a + b,                second = a − b
// A gain with a pan gives each channel its gain; a filter frequency with its
// pan gives the channels frequencies pan octaves apart.
//
// Three ways to the two channels, cheapest first: with B settled at 0 both
// channels read A's signal itself; with no slot on A or B they read two
// smoothed parameter sources that follow the combination of the base values
// (constant blocks once settled); otherwise the formula runs per sample.
class LevelPanTarget : public wave::Component, public ModulationMatrix::SecondaryTarget {
public:
    enum Mode { GainPan = 0, SumDifference = 1 };

    // The per-sample two-channel signal.
    class VoiceController : public wave::MultiProducer {
    public:
        explicit VoiceController(LevelPanTarget& owner);
        // Audio thread.
        void processAll(wave::Block** blocks, int numSamples, int flags) override;

    private:
        LevelPanTarget& target;
    };

    // Control thread, after both targets are registered with the matrix:
    // listens to their base values (as their one listener) and starts at
    // their current combination.
    LevelPanTarget(ModulationMatrix& matrix, int targetA, int targetB, Mode mode);
    ~LevelPanTarget() override;

    // A's or B's base value changed: the sources glide to the new
    // combination and arrive when the later of A's and B's ramps does.
    void update() override;

    VoiceController& getVoiceController() { return voice; }
    // Channel 0 or 1 of the combination.
    wave::Producer& getOutput(int channel) const { return voice.getOutput(channel); }
    int getTargetA() const { return targetA; }
    int getTargetB() const { return targetB; }
    Mode getMode() const { return mode; }
    const FloatParameterSource& getSource(int channel) const { return channel == 0 ? first : second; }

private:
    void combine(float a, float b, float& v1, float& v2) const;

    ModulationMatrix& matrix;
    int targetA;
    int targetB;
    Mode mode;
    ModulationMatrix::GlobalTargetController& controllerA;
    ModulationMatrix::GlobalTargetController& controllerB;
    FloatParameterSource first;
    FloatParameterSource second;
    VoiceController voice;
};
