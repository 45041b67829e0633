#pragma once

#include "host/cli/SampleReader.h"

#include <string>

typedef struct sf_private_tag SNDFILE;

// Reads any file libsndfile understands, as float samples.
class AudioFileReader : public SampleReader {
public:
    AudioFileReader() = default;
    ~AudioFileReader() override;
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    // Opens the file; on failure returns false and getError() tells why in
    // a few words ("No such file or directory", "unknown file format").
    bool open(const std::string& path);

    int getChannels() const override { return channels; }
    int getSampleRate() const override { return sampleRate; }
    std::int64_t getFrames() const override { return frames; }
    int read(float* interleaved, int maxFrames) override;
    const char* getError() const override { return error.c_str(); }

private:
    SNDFILE* file = nullptr;
    int channels = 0;
    int sampleRate = 0;
    std::int64_t frames = -1;
    std::string error;
};
