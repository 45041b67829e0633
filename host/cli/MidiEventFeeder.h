#pragma once

#include "host/cli/MidiFile.h"
#include "host/cli/TempoMap.h"

#include <cstdint>
#include <vector>

class GenericPlugin;

// A channel message at the sample where it sounds.
struct ScheduledMidiEvent {
    std::int64_t sample;
    std::uint8_t status;
    std::uint8_t data1;
    std::uint8_t data2;
};

// The channel messages of a MIDI file at their samples, in the file's merged
// order (which keeps them sorted by sample).
std::vector<ScheduledMidiEvent> scheduleMidiEvents(const MidiFile& file, const TempoMap& tempoMap);

// Feeds a plug-in, host block by host block, what a host would hand it
// before each process call: the transport (tempo and song position at the
// block's first sample) and the MIDI events that fall inside the block, each
// at its offset from the block's start. Blocks must come in order; events
// before a block's start that were never fed (the render skipped them) are
// dropped, and events after the last block are never delivered.
class MidiEventFeeder {
public:
    MidiEventFeeder(TempoMap tempoMap, std::vector<ScheduledMidiEvent> events = {});

    // Before plugin.process for the samples [start, start + numSamples):
    // passes the transport and queues the block's events. Returns how many
    // of the samples the queued events cover: numSamples, or fewer when the
    // plug-in's event queue filled up; the caller then processes that many
    // and feeds the rest of the block again.
    int feed(GenericPlugin& plugin, std::int64_t start, int numSamples);

    const TempoMap& getTempoMap() const { return tempoMap; }
    std::size_t getEventCount() const { return events.size(); }
    // Events handed to the plug-in so far.
    std::size_t getFedCount() const { return fed; }

private:
    TempoMap tempoMap;
    std::vector<ScheduledMidiEvent> events;
    std::size_t next = 0; // the first event not yet fed or dropped
    std::size_t fed = 0;
};
