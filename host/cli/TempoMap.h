#pragma once

#include "host/cli/MidiFile.h"

#include <cstdint>
#include <span>
#include <vector>

// Wide enough for ticks × nanoseconds × sample rate without overflow.
__extension__ typedef unsigned __int128 TempoMapWide;

// The renderer's time line: where each tick of a MIDI file falls in the
// audio, and the tempo and song position a host would report at any sample.
//
// With musical time (ticks per quarter note) the tempo changes decide where
// the ticks fall: until the first change a quarter lasts 500000 µs (120 BPM),
// as the MIDI file format defines. A file without any tempo change plays at
// the fallback tempo instead, as does the time line of a render without a
// MIDI file. With SMPTE time a tick is a fixed stretch of time; the tempo
// changes then only move the song position.
//
// Tick positions are exact: the arithmetic runs on whole numbers (128 bits
// wide) and rounds once, to the nearest sample (halves up). The song
// position is counted in quarter notes from 0 at the first sample and
// integrates the tempo changes.
class TempoMap {
public:
    // A steady tempo in beats per minute, kept within 1..1000000
    // (non-positive or not finite: 120).
    TempoMap(double bpm, int sampleRate);
    // The time line of a MIDI file; fallbackBpm applies when the file has no
    // tempo change.
    TempoMap(const MidiTimeDivision& division, std::span<const MidiTempoChange> changes, double fallbackBpm,
             int sampleRate);

    // The sample at which a tick sounds; saturates at the largest int64 for
    // ticks far beyond any audio.
    std::int64_t sampleOf(std::uint64_t tick) const;
    // The tempo in force at a sample, in beats per minute.
    double tempoAt(std::int64_t sample) const;
    // The song position at a sample, in quarter notes.
    double positionAt(std::int64_t sample) const;

    // Whether the tempo comes from the MIDI file's tempo changes.
    bool followsFileTempo() const { return fileTempo; }
    int getSampleRate() const { return sampleRate; }

private:
    struct Segment {
        std::uint64_t tick; // musical time: first tick of the segment
        std::uint64_t nanosPerQuarter;
        double bpm;
        TempoMapWide time; // musical time: Σ ticks × ns per quarter before the segment
        double seconds;    // start of the segment
        double quarters;   // song position at its start
    };

    const Segment& segmentAtSeconds(double seconds) const;

    MidiTimeDivision division;
    int sampleRate;
    bool fileTempo = false;
    std::vector<Segment> segments; // by start, never empty
};
