#include "host/cli/MidiEventFeeder.h"

#include "framework/GenericPlugin.h"

#include <utility>

std::vector<ScheduledMidiEvent> scheduleMidiEvents(const MidiFile& file, const TempoMap& tempoMap)
{
    std::vector<ScheduledMidiEvent> scheduled;
    scheduled.reserve(file.events.size());
    for (const MidiFileEvent& e : file.events)
        scheduled.push_back({tempoMap.sampleOf(e.tick), e.status, e.data1, e.data2});
    return scheduled;
}

MidiEventFeeder::MidiEventFeeder(TempoMap map, std::vector<ScheduledMidiEvent> scheduled)
    : tempoMap(std::move(map)), events(std::move(scheduled))
{
}

int MidiEventFeeder::feed(GenericPlugin& plugin, std::int64_t start, int numSamples)
{
    plugin.setTransport(tempoMap.tempoAt(start), tempoMap.positionAt(start));
    while (next < events.size() && events[next].sample < start)
        ++next;
    const std::int64_t end = start + numSamples;
    bool queuedAny = false;
    for (; next < events.size() && events[next].sample < end; ++next) {
        const ScheduledMidiEvent& e = events[next];
        const int offset = static_cast<int>(e.sample - start);
        if (!plugin.queueMidiEvent(offset, e.status, e.data1, e.data2)) {
            // The queue is full: the samples before this event can run with
            // what is queued. Refused with nothing queued (not expected, as
            // process empties the queue), it is dropped so the render moves on.
            if (queuedAny)
                return offset;
            continue;
        }
        queuedAny = true;
        ++fed;
    }
    return numSamples;
}
