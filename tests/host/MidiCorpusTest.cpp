// Replays the regression corpus of MIDI files (crafted ones, and inputs the
// fuzzer found interesting, tests/host/midi-corpus) through the reader and
// the tempo map. Crafted files say what they are in their names: "ok-..."
// must read, "bad-..." must fail for the reason listed here. Every file,
// whatever it is, must leave the reader's promises intact.
#include "host/cli/MidiEventFeeder.h"
#include "host/cli/MidiFile.h"
#include "host/cli/TempoMap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>

namespace fs = std::filesystem;

namespace {

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
        for (std::size_t i = 0; i < scheduled.size(); ++i) {
            const MidiFileEvent& e = file.events[i];
            EXPECT_TRUE(e.status >= 0x80 && e.status < 0xF0 && e.data1 < 0x80 && e.data2 < 0x80)
                << name << " " << i;
            if (i > 0) {
                EXPECT_LE(file.events[i - 1].tick, e.tick) << name << " " << i;
                EXPECT_LE(scheduled[i - 1].sample, scheduled[i].sample) << name << " " << i;
            }
        }
        const std::int64_t last = scheduled.empty() ? 0 : scheduled.back().sample;
        EXPECT_TRUE(std::isfinite(map.positionAt(last)) && map.tempoAt(last) > 0.0) << name;
    }
}

} // namespace

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
