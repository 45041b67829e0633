#pragma once

// Running the real ostrand-render as a user would, for the tests that check
// the files it leaves behind: a scratch folder and a home of the test's own,
// sox for the inputs, and the command's exit status and messages.

#include "TestFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace rendertest {

namespace fs = std::filesystem;
using testsupport::Outcome;

struct Audio {
    int channels = 0;
    int sampleRate = 0;
    int format = 0;
    std::vector<float> samples; // interleaved
    std::size_t frames() const { return channels ? samples.size() / static_cast<std::size_t>(channels) : 0; }
    float at(std::size_t frame, int channel = 0) const
    {
        return samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
    }
};

// The whole file as floats; empty (no channels) when it cannot be read.
inline Audio readAudio(const fs::path& path)
{
    Audio audio;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return audio;
    audio.channels = info.channels;
    audio.sampleRate = info.samplerate;
    audio.format = info.format;
    audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return audio;
}

// Runs ostrand-render with the arguments (a shell command line); the output
// holds its messages and errors.
inline Outcome run(const std::string& arguments)
{
    return testsupport::runCommand(std::string(OSTRAND_RENDER) + " " + arguments);
}

class RenderFolder : public testing::Test {
protected:
    std::string path(const std::string& name) const { return folder / name; }

    void sox(const std::string& arguments) const
    {
        ASSERT_EQ(testsupport::runCommand("sox " + arguments).status, 0) << arguments;
    }

    // The names in the folder, sorted.
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    testsupport::TemporaryHome home;
    testsupport::ScratchFolder folder;
    const fs::path dir = folder.root;
};

} // namespace rendertest
