#pragma once

#include "modulation/SourceInput.h"
#include "wave/Filter.h"

// Turns the level of an audio signal into a modulation signal: the level in
// dB above -60 dBFS, scaled so that -60 dB and below give 0 and 0 dBFS gives
// 1 (louder input gives more), smoothed with an attack time for rising and a
// release time for falling levels. A time is the time the level needs to
// cover 90 % of a step.
//
// The input is taken as it comes: zero and negative samples count as
// silence, so a waveform's negative half-waves read as the floor and the
// attack and release times do the rectifying.
//
// Threads: audio thread only (the effect relinks the input there).
class EnvelopeFollower : public wave::Filter {
public:
    // Loudest level the follower counts, in dB above full scale; anything
    // louder (an overload, an infinity) reads as this, so the output stays
    // bounded (at 2).
    static constexpr float maximumDb = 60.0f;

    // Control thread, while building. Own attack 0.5 ms, own release 0.1 s.
    explicit EnvelopeFollower(wave::Graph& graph, wave::Producer* audio = nullptr);
    ~EnvelopeFollower() override;

    // Seconds per sample.
    SourceInput& getAttackInput() { return attackInput; }
    SourceInput& getReleaseInput() { return releaseInput; }

    // The smoothed level in dB above -60 dBFS (0 and up).
    float getLevel() const { return level; }

    void processBlock(const wave::Block* input, wave::Block& output, int numSamples, int flags) override;

private:
    // The smoothing coefficient of one direction, recomputed only when its
    // time in samples changes.
    struct Smoothing {
        float coefficientFor(float seconds, float sampleRate);
        float coefficient = 0.0f;
        float samples = 0.0f; // the time in samples the coefficient was made for
    };

    SourceInput attackInput;
    SourceInput releaseInput;
    Smoothing rising;
    // The follower starts at the floor, not below it: its first output is
    // 0, as for silence, and it rises from there. (Starting from -180 dB
    // would show a strongly negative modulation for the first moments of
    // playback, a visible and audible glitch on whatever it modulates.)
    float level = 0.0f;
    Smoothing falling;
};
