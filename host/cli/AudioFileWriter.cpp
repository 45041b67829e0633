#include "host/cli/AudioFileWriter.h"

#include "host/cli/SndfileMessage.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <system_error>

namespace {

// The most sample data a plain WAV file holds: its sizes are 32-bit byte
// counts, and the header takes a little of them.
constexpr std::int64_t wavDataLimit = 0xFFFFFFFFll - 4096;

// Creates a new, empty file with a fresh hidden name beside target ("wx"
// fails when the name exists, so an existing file is never taken over).
bool createTemporary(const std::filesystem::path& target, std::filesystem::path& created, std::string& error)
{
    std::random_device seed;
    std::mt19937 random(seed());
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        error = std::filesystem::exists(folder, ec) ? "Not a directory" : "No such file or directory";
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        const std::filesystem::path candidate =
            folder / ("." + target.filename().string() + "." + suffix + ".part");
        errno = 0;
        if (std::FILE* f = std::fopen(candidate.c_str(), "wx")) {
            std::fclose(f);
            created = candidate;
            return true;
        }
        if (errno != EEXIST) {
            error = errno ? std::strerror(errno) : "cannot create file";
            return false;
        }
    }
    error = "cannot create a temporary file";
    return false;
}

} // namespace

AudioFileWriter::~AudioFileWriter()
{
    discard();
}

bool AudioFileWriter::open(const std::string& path, int channels, int sampleRate, std::int64_t expectedFrames)
{
    target = path;
    std::error_code ec;
    if (target.filename().empty() || std::filesystem::is_directory(target, ec)) {
        error = "Is a directory";
        return false;
    }
    if (!createTemporary(target, temporary, error))
        return false;

    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    // A WAV file counts its bytes in 32 bits: past 4 GiB (3.1 hours of
    // stereo at 48 kHz) the sizes wrap and readers see minutes of a long
    // render. RF64 counts in 64 bits. A render known to fit gets a plain
    // WAV file; one of unknown length gets RF64, which libsndfile turns
    // into a (WAVE_FORMAT_EXTENSIBLE) WAV file when it stays small.
    const std::int64_t bytesPerFrame = std::int64_t{4} * std::max(channels, 1);
    const bool fits = expectedFrames >= 0 && expectedFrames <= wavDataLimit / bytesPerFrame;
    info.format = (fits ? SF_FORMAT_WAV : SF_FORMAT_RF64) | SF_FORMAT_FLOAT;
    file = sf_open(temporary.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = sndfileReason(sf_strerror(nullptr), "write error");
        discard();
        return false;
    }
    if (!fits)
        sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    frameLimit = fits ? wavDataLimit / bytesPerFrame : std::numeric_limits<std::int64_t>::max();
    written = 0;
    return true;
}

bool AudioFileWriter::write(const float* interleaved, int frames)
{
    if (!file)
        return false;
    if (frames > frameLimit - written) {
        error = "more audio than the input announced, too much for a WAV file";
        return false;
    }
    if (sf_writef_float(file, interleaved, frames) != frames) {
        error = sndfileReason(sf_strerror(file), "write error");
        return false;
    }
    written += frames;
    return true;
}

bool AudioFileWriter::commit()
{
    if (!file)
        return false;
    sf_write_sync(file);
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != 0) {
        error = sndfileReason(sf_error_number(closed), "write error");
        discard();
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    if (ec) {
        error = ec.message();
        discard();
        return false;
    }
    temporary.clear();
    return true;
}

void AudioFileWriter::discard()
{
    if (file) {
        sf_close(file);
        file = nullptr;
    }
    if (!temporary.empty()) {
        std::error_code ec;
        std::filesystem::remove(temporary, ec);
        temporary.clear();
    }
}
