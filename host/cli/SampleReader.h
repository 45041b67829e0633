#pragma once

#include <cstdint>

// Where the renderer's samples come from: an audio file or the built-in demo.
// Samples are interleaved, one frame holding one sample per channel.
class SampleReader {
public:
    virtual ~SampleReader() = default;

    virtual int getChannels() const = 0;
    virtual int getSampleRate() const = 0;
    // Total frames, or -1 when unknown.
    virtual std::int64_t getFrames() const = 0;

    // Reads up to maxFrames frames; returns how many were read, 0 at the
    // end, -1 on a read error (getError() says why).
    virtual int read(float* interleaved, int maxFrames) = 0;
    virtual const char* getError() const { return "read error"; }
};
