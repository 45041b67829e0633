// A render longer than a WAV file can count: past 4 GiB of samples (3.1
// hours of stereo at 48 kHz) the file must still read back whole. Writes
// 4.3 GB to the temporary folder, so it is labelled manual.
#include "host/cli/AudioFileWriter.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

TEST(LongRender, MoreThanFourGibibytesReadsBackWhole)
{
    const fs::path path = fs::temp_directory_path() / ("ostrand-long-" + std::to_string(::getpid()) + ".wav");
    // 4.3 GB must not stay behind, whatever fails.
    struct Remove {
        fs::path path;
        ~Remove() { fs::remove(path); }
    } removal{path};
    const int channels = 2;
    const int chunk = 1 << 20;
    const std::int64_t frames = (std::int64_t{1} << 29) + 12345; // 4 GiB of stereo floats and a bit
    std::vector<float> samples(static_cast<std::size_t>(chunk) * channels);
    {
        AudioFileWriter writer;
        ASSERT_TRUE(writer.open(path.string(), channels, 48000, frames)) << writer.getError();
        for (std::int64_t done = 0; done < frames; done += chunk) {
            const int n = static_cast<int>(std::min<std::int64_t>(chunk, frames - done));
            // Each frame holds its own number (modulo the float's exact range).
            for (int i = 0; i < n; ++i)
                samples[static_cast<std::size_t>(i * channels)] = static_cast<float>((done + i) % (1 << 24));
            ASSERT_TRUE(writer.write(samples.data(), n)) << writer.getError();
        }
        ASSERT_TRUE(writer.commit()) << writer.getError();
    }

    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.frames, frames);
    EXPECT_EQ(info.channels, channels);
    // The last frames are where they belong.
    ASSERT_EQ(sf_seek(file, frames - 10, SEEK_SET), frames - 10);
    float tail[20] = {};
    ASSERT_EQ(sf_readf_float(file, tail, 10), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(tail[i * channels], static_cast<float>((frames - 10 + i) % (1 << 24))) << i;
    sf_close(file);
}
