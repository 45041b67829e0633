#pragma once

#include "filters/ControlInput.h"
#include "framework/Property.h"
#include "wave/Consumer.h"
#include "wave/Producer.h"

#include <cstdint>
#include <vector>

// The short delay behind each filter (0 to 50 ms in the effect). The delay
// time arrives as a stream in milliseconds and is smoothed by a critically
// damped 5 Hz low-pass, so modulation and automation glide. The line reads
// either with linear interpolation (follows every change, pitching the
// signal while the delay moves) or with two integer read heads that
// crossfade every 85 ms from the old position to the current one, so the
// delay follows its value in steps without clicks and without pitch
// artefacts. The effect uses crossfading, which is set at construction.
//
// The ring buffer holds the longest delay the owner asks for at the graph's
// sample rate plus one block, and nothing more: every sample of it can be
// heard again, so a reset that clears it all costs only what the line can
// play back (about 14 KB for 50 ms at 48 kHz), little enough for the audio
// thread. Delay values beyond the longest are held at it. The input is
// written before it is read in the same pull, so a delay of 0 reads the
// block just written. With no delay at all (delay constantly 0 and the
// smoother at rest) the input block itself is handed on, and while a linked
// delay rests there (Producer::handOn) the line is not even run.
//
// An alignment of a few whole samples can be added to the delay: the owner
// uses it to bring paths that reach the same mix through processing of
// different latencies back into step (a dry signal beside an oversampled
// one would otherwise comb). It follows changes by the same crossfades.
class DelayLine : public wave::Consumer, public wave::Producer {
public:
    enum ReadMode : int { interpolating = 0, crossfading = 1 };

    static constexpr float fadeTimeMs = 85.0f;
    static constexpr float smoothingHz = 5.0f;

    // Control thread, while building, once the graph has its sample rate:
    // room for delays up to longestDelayMs. Puts itself into the reset
    // list; the owner decides whether it also belongs in the run list.
    DelayLine(wave::Graph& graph, float longestDelayMs, wave::Producer* source = nullptr);

    // Delay time in milliseconds; 0 until a producer is linked. Values are
    // held within 0 and getMaximumDelay().
    ControlInput delay;
    ReadMode getReadMode() const { return static_cast<ReadMode>(readMode.get()); }
    Property<int> readMode;

    int getBufferSize() const { return size; }
    // The longest delay served, in ms: the one asked for, or less should
    // the graph's rate have risen since the line was built.
    float getMaximumDelay() const { return maxDelayMs; }
    // Whole samples added to the delay, 0 .. longestAlignment. Audio thread
    // (parameter changes) or control thread.
    static constexpr int longestAlignment = 32;
    void setAlignment(int samples);
    int getAlignment() const { return alignment; }
    // The smoothed delay time after the last block, in ms.
    float getSmoothedDelay() const { return static_cast<float>(smoothLow); }

    // Audio thread. With OutputNotNeeded the input is still written, the
    // smoother and the read heads still move; no output is computed.
    int process(wave::Block& target, int numSamples, int flags) override;
    // Between blocks, on any thread that owns the graph then (the audio
    // thread included): empties the buffer and clears the read heads. The
    // smoother jumps to the delay it reads next instead of gliding there, as
    // every ramp of the graph ends at a reset: after a bypass, or when a
    // host restores settings before playing, the delay holds from the first
    // sample.
    void reset() override;

private:
    void updateRate();
    void write(const float* in, int n);
    float clampDelay(float ms) const { return ms > 0.0f ? (ms < maxDelayMs ? ms : maxDelayMs) : 0.0f; }
    bool smooth(const ControlInput::Signal& d, int n);
    int positionFor(float delayMs, int offset) const;
    void readInterpolating(float* out, int n) const;
    template <bool Compute> void readCrossfading(float* out, int n);
    void copyFromRing(float* out, int from, int n) const;
    void clearBefore(int position);
    float fadeGainAt(int k) const;

    std::vector<float> ring;
    // Something other than silence was written since the ring was last
    // cleared; a reset of a clean ring (the first block after the plug-in
    // was built or activated) has nothing to clear.
    bool ringDirty = false;
    int size;
    int writePosition = 0;
    int blockStart = 0;
    std::vector<float> delays; // smoothed delay of each sample of the block (ms)
    bool delayConstant = true; // delays[] holds one value throughout

    // The smoother: a state-variable low-pass, critically damped.
    double smoothLow = 0.0;
    double smoothBand = 0.0;
    float smoothCoefficient = 0.0f;
    bool smootherJumps = false; // the next block starts the smoother on its input

    // Crossfading read: two heads, the active one and the one faded towards.
    bool headsSet = false;
    int heads[2] = {0, 0};
    int active = 0;
    int fadePosition = 0; // samples into the current fade
    int lastMode;

    float rate = 0.0f;
    double samplesPerMs = 0.0; // double: 10 ms at 44.1 kHz must be 441 samples, not 440
    int fadeLength = 1;
    double fadeStep = 1.0; // per-sample factor of the exponential part
    bool restsUnwritten = false; // the ring may go unwritten while the delay rests at 0
    float longestDelayMs;
    float maxDelayMs = 0.0f;
    int alignment = 0;
    // The line last ran without delay: read heads set afresh start from
    // there and fade to the alignment instead of jumping to it.
    bool leftRest = false;
    bool ranLastFrame = false;
    std::uint32_t lastFrame = 0;
};
