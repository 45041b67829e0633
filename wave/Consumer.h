#pragma once

#include "wave/Producer.h"

namespace wave {

// A link to one input producer. Combined with Producer by nodes that read an
// input (Filter) and with Component by sinks (Output). Linking keeps the
// source's consumer count, which tells Graph::advance whether an unpulled
// run-list producer is merely unread or has no reader at all.
class Consumer {
public:
    // Link flag: the caller's OutputNotNeeded passes on to the source, so the
    // source is left to the run list instead of being computed for nothing.
    static constexpr int PassOutputNotNeeded = 1;

    explicit Consumer(Producer* source = nullptr, int linkFlags = 0);
    // Control thread. The source must still exist: nodes are destroyed
    // consumers first.
    virtual ~Consumer();
    Consumer(const Consumer&) = delete;
    Consumer& operator=(const Consumer&) = delete;

    // Relinks to another producer (or none). Control thread, or the audio
    // thread when a routing change is applied; never allocates.
    void setSource(Producer* newSource);
    Producer* getSource() const { return sourceProducer; }
    int getLinkFlags() const { return sourceLinkFlags; }
    void setLinkFlags(int flags) { sourceLinkFlags = flags; }

    // Whether a pull made with the given process flags may skip the source.
    bool skipsSource(int flags) const { return (flags & sourceLinkFlags & PassOutputNotNeeded) != 0; }

    // Pulls the source for this frame; null when there is no source or the
    // caller's flags let it skip the source. Audio thread.
    const Block* pullSource(int numSamples, int flags) const
    {
        if (!sourceProducer || skipsSource(flags))
            return nullptr;
        return &sourceProducer->pull(numSamples, 0);
    }

private:
    Producer* sourceProducer = nullptr;
    int sourceLinkFlags;
};

} // namespace wave
