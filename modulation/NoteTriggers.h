#pragma once

#include "framework/MidiListener.h"

#include <atomic>
#include <vector>

class EnvelopeGenerator;
class XLFO;

// What notes do to the modulation sources, with the count of held notes
// they need. A note-on restarts the XLFOs whose MIDI Trigger is on and
// starts the envelope generators triggered by MIDI; the envelopes are
// released when the last held note ends. A note-on for note 0 is the reset
// that hardware sends to clear hanging notes: it empties the count and
// releases the envelopes without starting anything.
//
// The effect's channel receiver calls noteOn and noteOff before the other
// MIDI listeners hear the note (or installs this as its first listener).
// Threads: where MIDI is decoded (the audio thread, between sub-blocks),
// so each note takes effect with the sample at which it arrived.
class NoteTriggers : public MidiListener {
public:
    // While building (allocates).
    void addXLFO(XLFO& xlfo);
    void addEnvelopeGenerator(EnvelopeGenerator& eg);

    void noteOn(int note, float velocity) override;
    // Also all-notes-off, which the decoder turns into a note-off of note 0.
    void noteOff(int note, float velocity) override;

    // Any thread (the editor shows it).
    int getHeldNotes() const { return heldNotes.load(std::memory_order_relaxed); }

private:
    void releaseEnvelopes();

    std::vector<XLFO*> xlfos;
    std::vector<EnvelopeGenerator*> envelopes;
    // Written only where MIDI is decoded; atomic for the readers elsewhere.
    std::atomic<int> heldNotes{0};
};
