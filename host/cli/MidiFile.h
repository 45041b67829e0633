#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// How a MIDI file counts time: ticks per quarter note, or ticks per frame
// of an SMPTE frame rate (then a tick is a fixed stretch of time).
struct MidiTimeDivision {
    int ticksPerQuarter = 0; // 0 for SMPTE time
    // 24, 25, 29 (30 drop-frame, that is 29.97 frames a second) or 30; 0
    // for musical time.
    int framesPerSecond = 0;
    int ticksPerFrame = 0;

    bool isSmpte() const { return framesPerSecond != 0; }
};

// One channel message (status 0x80..0xEF) at its tick. Messages with one
// data byte have data2 = 0.
struct MidiFileEvent {
    std::uint64_t tick;
    std::uint8_t status;
    std::uint8_t data1;
    std::uint8_t data2;
};

// A "set tempo" meta event: from its tick on, a quarter note lasts this long.
struct MidiTempoChange {
    std::uint64_t tick;
    std::uint32_t microsecondsPerQuarter;
};

// What the renderer takes from a Standard MIDI File of format 0 or 1: the
// channel messages of all tracks merged into one list in time order, and
// the tempo changes. Events at the same tick keep the order of their tracks
// and, within a track, the order of the file. System exclusive messages and
// meta events other than the tempo are read over and dropped.
struct MidiFile {
    int format = 0;
    int trackCount = 0;
    MidiTimeDivision division;
    std::vector<MidiFileEvent> events;
    std::vector<MidiTempoChange> tempoChanges;
};

struct MidiFileResult {
    MidiFile file;
    std::string error; // empty on success; otherwise what is wrong and where

    bool ok() const { return error.empty(); }
};

// Larger files are refused before they are read: memory stays bounded
// whatever a file claims or holds.
inline constexpr std::size_t maxMidiFileSize = std::size_t{32} << 20;

// Parses the bytes of a Standard MIDI File. Any damage (a cut-off chunk or
// event, a length running past its chunk, a missing status byte, a header
// announcing more tracks than there are, a zero time division) gives an
// error naming the reason and the byte offset; nothing is allocated beyond
// what the bytes themselves hold. Running status, unknown chunks and
// unknown meta events are read as the format allows.
MidiFileResult parseMidiFile(std::span<const std::uint8_t> bytes);

// Reads and parses a file. The error does not repeat the file's name.
MidiFileResult readMidiFile(const std::string& path);
