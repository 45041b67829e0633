#include "modulation/NoteTriggers.h"

#include "modulation/EnvelopeGenerator.h"
#include "modulation/XLFO.h"

void NoteTriggers::addXLFO(XLFO& xlfo)
{
    xlfos.push_back(&xlfo);
}

void NoteTriggers::addEnvelopeGenerator(EnvelopeGenerator& eg)
{
    envelopes.push_back(&eg);
}

void NoteTriggers::noteOn(int note, float)
{
    if (note == 0) {
        heldNotes = 0;
        releaseEnvelopes();
        return;
    }
    ++heldNotes;
    for (XLFO* x : xlfos)
        x->noteTriggered();
    for (EnvelopeGenerator* eg : envelopes)
        eg->midiStart();
}

void NoteTriggers::noteOff(int, float)
{
    if (heldNotes <= 0)
        return;
    if (--heldNotes == 0)
        releaseEnvelopes();
}

void NoteTriggers::releaseEnvelopes()
{
    for (EnvelopeGenerator* eg : envelopes)
        eg->midiRelease();
}
