#pragma once

// Running the real ostrand-render as a user would, for the tests that check
// the files it leaves behind: a scratch folder with a home of its own (the
// plug-in keeps user settings and the MIDI controller map in the user's
// folders, and must never touch the real ones), sox for the inputs, and the
// command's exit status and messages.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace rendertest {

namespace fs = std::filesystem;

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

struct Outcome {
    int status = -1;
    std::string output; // stdout, and stderr unless left out
};

// Runs ostrand-render with the arguments (a shell command line).
inline Outcome run(const std::string& arguments, bool withErrors = true)
{
    Outcome result;
    const std::string command =
        std::string(OSTRAND_RENDER) + " " + arguments + (withErrors ? " 2>&1" : " 2>/dev/null");
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe))
            result.output += buffer;
        const int raw = pclose(pipe);
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    return result;
}

// A fresh folder per test, removed afterwards, with HOME and the XDG
// folders pointing beside it.
class RenderFolder : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("ostrand-render-" + std::to_string(::getpid()) + "-" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        home = dir.string() + "-home";
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    }
    void TearDown() override
    {
        fs::remove_all(dir);
        fs::remove_all(home);
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    void sox(const std::string& arguments) const
    {
        ASSERT_EQ(std::system(("sox " + arguments + " 2>/dev/null").c_str()), 0) << arguments;
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

    fs::path dir;
    fs::path home;
};

} // namespace rendertest
