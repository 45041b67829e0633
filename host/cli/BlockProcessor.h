#pragma once

// What the render loop runs the audio through: one call per host block,
// one buffer per channel in and out.
class BlockProcessor {
public:
    virtual ~BlockProcessor() = default;
    virtual void process(const float* const* inputs, float* const* outputs, int numSamples) = 0;
    // Samples by which the output lags the input.
    virtual int getLatency() const { return 0; }
    // The input has ended; what runs through from here on only brings the
    // latency's worth of output out, with nothing new arriving.
    virtual void endInput() {}
};
