// The MIDI file reader: a file written by csvmidi, and the regression corpus
// (crafted files and inputs the fuzzer found interesting,
// tests/host/midi-corpus) through the reader and the tempo map.
#include "host/cli/MidiFile.h"

#include "host/cli/MidiEventFeeder.h"
#include "host/cli/TempoMap.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Event = std::tuple<std::uint64_t, int, int, int>; // tick, status, data1, data2

std::vector<Event> events(const MidiFile& file)
{
    std::vector<Event> list;
    for (const MidiFileEvent& e : file.events)
        list.emplace_back(e.tick, e.status, e.data1, e.data2);
    return list;
}

// Damaged files and (part of) the reason they must be refused for.
const std::map<std::string, std::string> refusals = {
    {"bad-not-midi.mid", "not a Standard MIDI File"},
    {"bad-empty.mid", "not a Standard MIDI File"},
    {"bad-short-header.mid", "header chunk is only 4 bytes long"},
    {"bad-header-cut.mid", "ends inside its header chunk"},
    {"bad-format2.mid", "format 2 (independent sequences)"},
    {"bad-format7.mid", "format 7 is unknown"},
    {"bad-no-tracks.mid", "announces no tracks"},
    {"bad-zero-division.mid", "0 ticks per quarter note"},
    {"bad-zero-ticks-per-frame.mid", "0 ticks per SMPTE frame"},
    {"bad-smpte-rate.mid", "unknown SMPTE frame rate (0xE1)"},
    {"bad-more-tracks-announced.mid", "announces 5 tracks but the file holds 2"},
    {"bad-truncated-track.mid", "track 1 at byte 14 announces 8 bytes but only 5 follow"},
    {"bad-track-length-overflow.mid", "track 1 at byte 14 announces 4294967295 bytes"},
    {"bad-chunk-header-cut.mid", "ends inside a chunk header at byte 26"},
    {"bad-unknown-chunk-cut.mid", "the chunk 'JUNK' at byte 14 announces 100 bytes"},
    {"bad-running-status-first.mid", "track 1 has a data byte (0x3C) where a status byte belongs at byte 23"},
    {"bad-running-status-after-meta.mid", "where a status byte belongs"},
    {"bad-event-cut.mid", "track 1 ends inside a channel message at byte 25"},
    {"bad-delta-cut.mid", "track 1 ends inside a delta time"},
    {"bad-delta-only.mid", "ends after a delta time"},
    {"bad-vlq-five-bytes.mid", "delta time longer than four bytes at byte 22"},
    {"bad-meta-length-absurd.mid", "meta event of 33554431 bytes, running past its end (3 left)"},
    {"bad-sysex-length-absurd.mid", "system exclusive message of 33554431 bytes"},
    {"bad-tempo-length.mid", "tempo event of 2 bytes"},
    {"bad-tempo-zero.mid", "tempo of 0 microseconds"},
    {"bad-realtime-status.mid", "status byte 0xF8"},
    {"bad-data-byte-high.mid", "the byte 0xE4 inside a channel message"},
};

// What the renderer relies on for every file the reader accepts.
void checkPromises(const MidiFile& file, const std::string& name)
{
    EXPECT_GE(file.trackCount, 1) << name;
    EXPECT_TRUE(file.division.isSmpte() ? file.division.ticksPerFrame > 0 : file.division.ticksPerQuarter > 0)
        << name;
    for (int rate : {22050, 48000, 192000}) {
        const TempoMap map(file.division, file.tempoChanges, 120.0, rate);
        const auto scheduled = scheduleMidiEvents(file, map);
        ASSERT_EQ(scheduled.size(), file.events.size()) << name;
        // Channel messages only, in time order.
        for (std::size_t i = 0; i < scheduled.size(); ++i) {
            const MidiFileEvent& e = file.events[i];
            EXPECT_TRUE(e.status >= 0x80 && e.status < 0xF0 && e.data1 < 0x80 && e.data2 < 0x80 &&
                        (i == 0 || (file.events[i - 1].tick <= e.tick && scheduled[i - 1].sample <= scheduled[i].sample)))
                << name << " " << i;
        }
        const std::int64_t last = scheduled.empty() ? 0 : scheduled.back().sample;
        EXPECT_TRUE(std::isfinite(map.positionAt(last)) && map.tempoAt(last) > 0.0) << name;
    }
}

} // namespace

// A file written by csvmidi from a hand-written listing (running status,
// system exclusive and text among the events): the channel messages come out
// merged by tick, simultaneous ones in track order and then file order, and
// their samples are those the listing says, counted by hand (480 ticks a
// quarter; 120 BPM, so 50 samples a tick at 48 kHz, until tick 960; then 60
// BPM, 100 samples a tick).
TEST(MidiFile, ReadsAFileWrittenByAnotherProgram)
{
    testsupport::ScratchFolder folder;
    const fs::path csv = folder.root / "song.csv", mid = folder.root / "song.mid";
    std::ofstream(csv) << "0, 0, Header, 1, 2, 480\n"
                          "1, 0, Start_track\n"
                          "1, 0, Title_t, \"tempo\"\n"
                          "1, 0, Tempo, 500000\n"
                          "1, 480, Control_c, 1, 10, 64\n"
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
    ASSERT_EQ(testsupport::runCommand("csvmidi " + csv.string() + " " + mid.string()).status, 0);

    const MidiFileResult r = readMidiFile(mid.string());
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.file.trackCount, 2);
    EXPECT_EQ(events(r.file), (std::vector<Event>{
                                  {0, 0x90, 60, 100},
                                  {480, 0xB1, 10, 64},
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
              (std::vector<std::int64_t>{0, 24000, 24000, 48000, 48000, 72000, 72000, 96000, 96000, 144000}));
}

// Crafted files say what they are in their names: "ok-..." must read,
// "bad-..." must fail for the reason listed above. Every file, whatever it
// is, must leave the reader's promises intact.
TEST(MidiCorpus, EveryFileReadsOrIsRefusedForItsReason)
{
    std::size_t seen = 0, crafted = 0, readable = 0;
    for (const auto& entry : fs::directory_iterator(OSTRAND_MIDI_CORPUS)) {
        const std::string name = entry.path().filename().string();
        const MidiFileResult r = readMidiFile(entry.path().string());
        ++seen;
        if (r.ok()) {
            ++readable;
            checkPromises(r.file, name);
            // Two crafted files say more: 25 frames of 40 ticks; one note
            // before the end of its track, and nothing of what follows.
            if (name == "ok-smpte-25fps.mid") {
                EXPECT_TRUE(r.file.division.framesPerSecond == 25 && r.file.division.ticksPerFrame == 40);
            }
            if (name == "ok-events-after-end-of-track.mid") {
                EXPECT_EQ(events(r.file), (std::vector<Event>{{0, 0x90, 0x3C, 0x64}}));
            }
        } else {
            EXPECT_TRUE(r.file.events.empty() && r.file.tempoChanges.empty()) << name;
        }
        if (name.starts_with("ok-")) {
            ++crafted;
            EXPECT_TRUE(r.ok()) << name << ": " << r.error;
        } else if (name.starts_with("bad-")) {
            ++crafted;
            const auto reason = refusals.find(name);
            ASSERT_NE(reason, refusals.end()) << name << " has no expected reason: " << r.error;
            EXPECT_NE(r.error.find(reason->second), std::string::npos) << name << ": " << r.error;
        }
    }
    // Nothing of the crafted corpus went missing.
    EXPECT_GE(crafted, refusals.size() + 9);
    EXPECT_GE(seen, crafted);
    EXPECT_GE(readable, 9u);
}
