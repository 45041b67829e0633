// The MIDI file reader: a file written by csvmidi, and the regression corpus
// (crafted files and inputs the fuzzer found interesting,
// tests/host/midi-corpus) through the reader and the tempo map; the tempo
// map on its own against musical time counted by hand.
#include "host/cli/MidiFile.h"

#include "host/cli/MidiEventFeeder.h"
#include "host/cli/TempoMap.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <utility>
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

using Changes = std::vector<MidiTempoChange>;

MidiTimeDivision quarters(int ticks)
{
    return {ticks, 0, 0};
}

// Ticks to samples, and samples to tempo (BPM) and song position
// (quarter notes), each as pairs of (where, expected).
void expectSamples(const TempoMap& map, const std::vector<std::pair<std::uint64_t, std::int64_t>>& ticks)
{
    for (const auto& [tick, sample] : ticks)
        EXPECT_EQ(map.sampleOf(tick), sample) << "tick " << tick;
}

void expectTempoAndPosition(const TempoMap& map, const std::vector<std::pair<std::int64_t, double>>& tempos,
                            const std::vector<std::pair<std::int64_t, double>>& positions)
{
    for (const auto& [sample, tempo] : tempos)
        EXPECT_DOUBLE_EQ(map.tempoAt(sample), tempo) << "sample " << sample;
    for (const auto& [sample, position] : positions)
        EXPECT_NEAR(map.positionAt(sample), position, 1e-12) << "sample " << sample;
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

// Musical time: 120 BPM until the first change (the file format's default),
// then each change from its tick on. At 480 ticks a quarter and 48 kHz,
// 120 BPM is 50 samples a tick, 60 BPM 100, 100 BPM 60. Without changes
// the fallback tempo holds; the steady map of a render without a file is
// the same thing.
TEST(TempoMap, TempoChangesOrTheFallbackMoveTicksAndTheSongPosition)
{
    // Of the two changes at 1440 the later one holds: still 60 BPM.
    const TempoMap map(quarters(480), Changes{{960, 1000000}, {1440, 600000}, {1440, 1000000}, {2400, 600000}}, 90.0,
                       48000);
    EXPECT_TRUE(map.followsFileTempo());
    expectSamples(map, {{0, 0}, {480, 24000}, {960, 48000}, {1440, 96000}, {2400, 192000}, {2880, 192000 + 480 * 60}});
    // The position counts quarters: 2 in the first second, then one a second.
    expectTempoAndPosition(map, {{0, 120.0}, {47999, 120.0}, {48000, 60.0}, {200000, 100.0}},
                           {{0, 0.0}, {24000, 1.0}, {72000, 2.5}, {192000, 5.0}, {240000, 5.0 + 100.0 / 60.0}});

    // A first change after tick 0: the default tempo runs until it.
    const TempoMap late(quarters(480), Changes{{480, 600000}}, 90.0, 48000);
    expectSamples(late, {{960, 24000 + 480 * 60}});
    expectTempoAndPosition(late, {{0, 120.0}}, {});

    const TempoMap fallback(quarters(480), {}, 90.0, 48000);
    EXPECT_FALSE(fallback.followsFileTempo());
    expectSamples(fallback, {{480, 32000}});
    expectTempoAndPosition(fallback, {{1000000, 90.0}}, {{48000, 1.5}});
    expectTempoAndPosition(TempoMap(133.0, 44100), {{0, 133.0}}, {});
    EXPECT_NEAR(TempoMap(133.0, 44100).positionAt(44100 * 60), 133.0, 1e-9);
    for (double bad : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_DOUBLE_EQ(TempoMap(bad, 48000).tempoAt(0), 120.0);
    EXPECT_DOUBLE_EQ(TempoMap(1e-300, 48000).tempoAt(0), 1.0);
}

// Ticks land on the nearest sample (halves go up) and saturate far past any
// audio; SMPTE ticks are time whatever the tempo, which only moves the song
// position.
TEST(TempoMap, RoundingSaturationAndSmpteTime)
{
    // 4 ticks a quarter at 120 BPM and 44.1 kHz: 5512.5 samples a tick;
    // 96 ticks: 229.6875.
    expectSamples(TempoMap(quarters(4), {}, 120.0, 44100), {{1, 5513}, {2, 11025}});
    expectSamples(TempoMap(quarters(96), {}, 120.0, 44100), {{1, 230}, {2, 459}, {96 * 1000, 22050000}});
    const TempoMap slow(quarters(1), Changes{{0, 0xFFFFFF}}, 120.0, 192000);
    EXPECT_EQ(slow.sampleOf(std::numeric_limits<std::uint64_t>::max()), std::numeric_limits<std::int64_t>::max());
    EXPECT_GT(slow.sampleOf(std::uint64_t{1} << 40), 0);

    // 25 frames of 40 ticks: one tick a millisecond. 60 BPM from the start,
    // 120 BPM from the second second.
    const TempoMap smpte({0, 25, 40}, Changes{{0, 1000000}, {2000, 500000}}, 90.0, 48000);
    expectSamples(smpte, {{1000, 48000}, {2500, 120000}});
    expectTempoAndPosition(smpte, {{0, 60.0}, {96000, 120.0}}, {{96000, 2.0}, {144000, 4.0}});
    // 29.97 drop-frame, 80 ticks a frame: 30 frames last 1.001 s.
    const TempoMap drop({0, 29, 80}, {}, 90.0, 48000);
    expectSamples(drop, {{2400, 48048}});
    expectTempoAndPosition(drop, {}, {{48000, 1.5}});
    expectSamples(TempoMap({0, 24, 2}, {}, 120.0, 48000), {{48, 48000}});
}
