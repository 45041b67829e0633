#include "host/cli/AudioFileReader.h"

#include "host/cli/SndfileMessage.h"

#include <sndfile.h>

#include <filesystem>
#include <system_error>

AudioFileReader::~AudioFileReader()
{
    if (file)
        sf_close(file);
}

bool AudioFileReader::open(const std::string& path)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) {
        error = "No such file or directory";
        return false;
    }
    if (std::filesystem::is_directory(status)) {
        error = "Is a directory";
        return false;
    }

    SF_INFO info{};
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = sndfileReason(sf_strerror(nullptr), "unreadable file");
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        error = "no audio in the file";
        return false;
    }
    channels = info.channels;
    sampleRate = info.samplerate;
    frames = info.frames >= 0 && info.frames < SF_COUNT_MAX ? info.frames : -1;
    return true;
}

int AudioFileReader::read(float* interleaved, int maxFrames)
{
    if (!file || maxFrames <= 0)
        return 0;
    const sf_count_t got = sf_readf_float(file, interleaved, maxFrames);
    if (got < 0 || sf_error(file) != SF_ERR_NO_ERROR) {
        error = sndfileReason(sf_strerror(file), "unreadable file");
        return -1;
    }
    return static_cast<int>(got);
}
