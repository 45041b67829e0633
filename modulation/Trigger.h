#pragma once

#include "framework/Property.h"
#include "wave/Output.h"

#include <array>
#include <cstdint>

// Opens and closes an envelope generator's gate from an audio level. The
// gate opens on the first sample at or above the threshold and closes once
// the level has stayed below half the threshold for longer than the hold
// time, so a note's decay or a short dip does not retrigger.
//
// Threads: run on the audio thread; the properties are set there by the
// parameters; the input is relinked by the effect on the audio thread.
class Trigger : public PropertyOwner, public wave::Output {
public:
    struct Event {
        int position; // sample of the current block
        bool on;
    };
    static constexpr int maxEvents = 1024;

    // Control thread, while building. level is the level signal to watch.
    // Triggers built to share with one first trigger (which must outlive
    // them) often watch the same level with the same settings and from the
    // same state: then one of them searches a block and the others take its
    // findings.
    explicit Trigger(wave::Graph& graph, wave::Producer* level = nullptr, Trigger* sharesWith = nullptr);

    // Milliseconds below half the threshold before the gate closes.
    Property<float> holdTime;
    Property<bool> enabled;
    LimitedProperty<float> threshold;

    // Watches numSamples samples of the level and records where the gate
    // opened and closed in this block. Audio thread.
    void run(int numSamples);
    int getEventCount() const { return eventCount; }
    const Event& getEvent(int i) const { return events[static_cast<std::size_t>(i)]; }

    bool isOn() const { return state != 0; }
    // Closes the gate without an event and forgets the block's events.
    void reset();
    int getReleaseCount() const { return releaseCount; }

    void propertyChanged(PropertyBase& property) override;

private:
    // The last search of a block among the triggers that share: what it
    // started from and what it found (the events in the searcher's list).
    struct Search {
        std::uint32_t frame = 0;
        const float* level = nullptr;
        int numSamples = -1;
        float threshold = 0.0f;
        int releaseCount = 0;
        int state = 0;
        int belowCounter = 0;
        int stateAfter = 0;
        int belowCounterAfter = 0;
        int eventCount = 0;
        const Trigger* searcher = nullptr;
    };

    void updateReleaseCount();
    void search(const float* x, int numSamples);

    int belowCounter = 0;
    int releaseCount = 1;
    float countedRate = 0.0f;
    std::array<Event, maxEvents> events{};
    int eventCount = 0;
    int state = 0;
    Search ownSearch;
    Search* lastSearch = &ownSearch;
};
