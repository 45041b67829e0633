#pragma once

#include "host/cli/SampleReader.h"

#include <vector>

// The built-in demo: about eight seconds of a stereo drum-and-bass pattern
// (kick, snare, hats, a sub bass line and a soft pad over Am-F-C-G),
// synthesised in code so the renderer has something to play without an
// input file. Peaks sit at about -3 dBFS.
class DemoSignal : public SampleReader {
public:
    static constexpr int defaultSampleRate = 48000;
    // The pattern's tempo, which the renderer tells the plug-in.
    static constexpr double tempo = 174.0;

    explicit DemoSignal(int sampleRate = defaultSampleRate);

    int getChannels() const override { return 2; }
    int getSampleRate() const override { return sampleRate; }
    std::int64_t getFrames() const override { return static_cast<std::int64_t>(samples.size() / 2); }
    int read(float* interleaved, int maxFrames) override;

private:
    int sampleRate;
    std::vector<float> samples; // interleaved stereo
    std::size_t readFrame = 0;
};
