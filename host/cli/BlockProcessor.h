#pragma once

// What the render loop runs the audio through: one call per host block,
// one buffer per channel in and out.
class BlockProcessor {
public:
    virtual ~BlockProcessor() = default;
    virtual void process(const float* const* inputs, float* const* outputs, int numSamples) = 0;
};
