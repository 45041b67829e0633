#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

typedef struct sf_private_tag SNDFILE;

// Writes a 32-bit float WAV file (RF64 beyond 4 GiB) so that a failed
// render leaves nothing behind: the samples go into a hidden temporary file
// beside the target, which replaces the target only when commit() succeeds.
// A writer destroyed without a successful commit removes its temporary file.
class AudioFileWriter {
public:
    AudioFileWriter() = default;
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Creates the temporary file; on failure returns false and getError()
    // tells why ("Permission denied", "No such file or directory").
    // expectedFrames: the length of the render, -1 when unknown; a render
    // beyond 4 GiB, or of unknown length, is written as RF64.
    bool open(const std::string& path, int channels, int sampleRate, std::int64_t expectedFrames);
    // Writes interleaved frames; false on a write error (a full disk, or
    // more frames than announced where a WAV file cannot take them).
    bool write(const float* interleaved, int frames);
    // Closes the file and moves it into place.
    bool commit();
    // Closes and removes the temporary file.
    void discard();

    const std::string& getError() const { return error; }
    const std::filesystem::path& getTemporaryPath() const { return temporary; }

private:
    SNDFILE* file = nullptr;
    std::filesystem::path target;
    std::filesystem::path temporary;
    std::string error;
    std::int64_t frameLimit = 0;
    std::int64_t written = 0;
};
