#include "host/cli/MidiFile.h"

#include "host/cli/MidiEventFeeder.h"
#include "host/cli/TempoMap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes chunk(const char* id, const Bytes& body)
{
    const auto n = static_cast<std::uint32_t>(body.size());
    Bytes out(id, id + 4);
    out.insert(out.end(),
               {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)});
    return out + body;
}

Bytes header(int format, int tracks, int division)
{
    return chunk("MThd", {0, std::uint8_t(format), 0, std::uint8_t(tracks), std::uint8_t(division >> 8),
                          std::uint8_t(division & 0xFF)});
}

using Event = std::tuple<std::uint64_t, int, int, int>; // tick, status, data1, data2

std::vector<Event> events(const MidiFile& file)
{
    std::vector<Event> list;
    for (const MidiFileEvent& e : file.events)
        list.emplace_back(e.tick, e.status, e.data1, e.data2);
    return list;
}

struct TemporaryFolder {
    TemporaryFolder() : path(fs::temp_directory_path() / ("ostrand-midi-" + std::to_string(::getpid())))
    {
        fs::create_directories(path);
    }
    ~TemporaryFolder() { fs::remove_all(path); }
    fs::path path;
};

} // namespace

// Two tracks with running status, a one-byte message, system exclusive and
// meta events: the channel messages come out merged by tick, simultaneous
// ones in track order and then file order; only the tempo is kept of the rest.
TEST(MidiFile, MergesTracksInTimeOrderKeepingSimultaneousEventsInOrder)
{
    const Bytes bytes = header(1, 2, 96) +
                        chunk("MTrk", {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, // tempo 500000
                                       0x00, 0x91, 0x40, 0x50,                   // note on, channel 2
                                       0x60, 0x41, 0x50,                         // running status at 96
                                       0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, // tempo 1000000 at 96
                                       0x00, 0xFF, 0x2F, 0x00, 0x7F}) +          // after the end: ignored
                        chunk("MTrk", {0x00, 0xF0, 0x03, 0x7E, 0x01, 0xF7,       // sysex
                                       0x00, 0xB0, 0x07, 0x64,                   // controller at 0
                                       0x81, 0x00, 0xC3, 0x05,                   // program change at 128
                                       0x00, 0xFF, 0x01, 0x02, 'h',  'i',        // text
                                       0x00, 0xE0, 0x00, 0x40}) +                // pitch bend, no end marker
                        chunk("XTRA", {1, 2, 3});                                // after the tracks
    const MidiFileResult r = parseMidiFile(bytes);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.file.format, 1);
    EXPECT_EQ(r.file.trackCount, 2);
    EXPECT_EQ(r.file.division.ticksPerQuarter, 96);
    EXPECT_FALSE(r.file.division.isSmpte());
    EXPECT_EQ(events(r.file), (std::vector<Event>{
                                  {0, 0x91, 0x40, 0x50},
                                  {0, 0xB0, 0x07, 0x64},
                                  {96, 0x91, 0x41, 0x50},
                                  {128, 0xC3, 0x05, 0},
                                  {128, 0xE0, 0x00, 0x40},
                              }));
    ASSERT_EQ(r.file.tempoChanges.size(), 2u);
    EXPECT_EQ(r.file.tempoChanges[1].tick, 96u);
    EXPECT_EQ(r.file.tempoChanges[1].microsecondsPerQuarter, 1000000u);

    // SMPTE time: 25 frames of 40 ticks.
    const MidiFileResult smpte = parseMidiFile(
        header(0, 1, 0xE728) + chunk("MTrk", {0x87, 0x68, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}));
    ASSERT_TRUE(smpte.ok()) << smpte.error;
    EXPECT_EQ(smpte.file.division.framesPerSecond, 25);
    EXPECT_EQ(smpte.file.division.ticksPerFrame, 40);
    EXPECT_EQ(events(smpte.file), (std::vector<Event>{{1000, 0x90, 0x3C, 0x64}}));
}

// The reader's errors for files that are not there, not files, or too big;
// damaged contents are covered by the corpus test.
TEST(MidiFile, ReadingNamesWhatStoppedIt)
{
    TemporaryFolder folder;
    EXPECT_NE(readMidiFile((folder.path / "missing.mid").string()).error.find("No such file"),
              std::string::npos);
    EXPECT_NE(readMidiFile(folder.path.string()).error.find("not a regular file"), std::string::npos);
    const fs::path big = folder.path / "big.mid";
    {
        std::ofstream out(big, std::ios::binary);
        out.seekp(static_cast<std::streamoff>(maxMidiFileSize));
        out.put('\0');
    }
    EXPECT_NE(readMidiFile(big.string()).error.find("larger than 32 MiB"), std::string::npos);
}

// A file written by csvmidi from a hand-written listing: the events and
// their samples must be those the listing says, counted by hand (480 ticks a
// quarter; 120 BPM, so 50 samples a tick at 48 kHz, until tick 960; then 60
// BPM, 100 samples a tick).
TEST(MidiFile, ReadsAFileWrittenByAnotherProgram)
{
    TemporaryFolder folder;
    const fs::path csv = folder.path / "song.csv", mid = folder.path / "song.mid";
    std::ofstream(csv) << "0, 0, Header, 1, 2, 480\n"
                          "1, 0, Start_track\n"
                          "1, 0, Title_t, \"tempo\"\n"
                          "1, 0, Tempo, 500000\n"
                          "1, 960, Tempo, 1000000\n"
                          "1, 960, End_track\n"
                          "2, 0, Start_track\n"
                          "2, 0, Note_on_c, 0, 60, 100\n"
                          "2, 480, Control_c, 1, 7, 90\n"
                          "2, 960, Note_off_c, 0, 60, 0\n"
                          "2, 960, Program_c, 2, 5\n"
                          "2, 1200, Pitch_bend_c, 3, 8192\n"
                          "2, 1200, Pitch_bend_c, 3, 9000\n"
                          "2, 1440, Poly_aftertouch_c, 4, 61, 30\n"
                          "2, 1440, Channel_aftertouch_c, 5, 40\n"
                          "2, 1500, System_exclusive, 3, 126, 1, 247\n"
                          "2, 1920, Note_on_c, 9, 36, 0\n"
                          "2, 1920, End_track\n"
                          "0, 0, End_of_file\n";
    ASSERT_EQ(std::system(("csvmidi " + csv.string() + " " + mid.string()).c_str()), 0) << "csvmidi missing?";

    const MidiFileResult r = readMidiFile(mid.string());
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.file.trackCount, 2);
    EXPECT_EQ(events(r.file), (std::vector<Event>{
                                  {0, 0x90, 60, 100},
                                  {480, 0xB1, 7, 90},
                                  {960, 0x80, 60, 0},
                                  {960, 0xC2, 5, 0},
                                  {1200, 0xE3, 0, 64},
                                  {1200, 0xE3, 9000 & 0x7F, 9000 >> 7},
                                  {1440, 0xA4, 61, 30},
                                  {1440, 0xD5, 40, 0},
                                  {1920, 0x99, 36, 0},
                              }));

    const TempoMap map(r.file.division, r.file.tempoChanges, 77.0, 48000);
    std::vector<std::int64_t> samples;
    for (const ScheduledMidiEvent& e : scheduleMidiEvents(r.file, map))
        samples.push_back(e.sample);
    EXPECT_EQ(samples,
              (std::vector<std::int64_t>{0, 24000, 48000, 48000, 72000, 72000, 96000, 96000, 144000}));
}
