#pragma once

#include "framework/Property.h"
#include "modulation/HostTransport.h"
#include "modulation/SourceInput.h"
#include "modulation/SyncMode.h"
#include "wave/Source.h"

#include <cstdint>

class XLFO;

// The frequency an XLFO runs at, per sample. Free: the XLFO's frequency
// target passes through (Hz). In a sync mode the rate follows the host's
// tempo, one cycle per the mode's number of bars, times the frequency
// offset target (a multiplier, 0.5..2), and the XLFO's phase is kept on the
// host's bars: the XLFO reads the transport itself, the controller tells it
// the cycle's length and whether it is locked. While what the rate is made
// of rests, so does the controller.
//
// Threads: setTempoAndPosition, followTempo and process run on the audio
// thread (the effect passes the transport before each host block); syncMode
// is set there by its parameter.
class XLFOFreqController : public wave::Source, public PropertyOwner {
public:
    // Control thread, while building. frequency and offset are the XLFO's
    // frequency and frequency offset targets; without them the own values
    // (1 Hz and a multiplier of 1) stand in.
    XLFOFreqController(wave::Graph& graph, XLFO& xlfo, wave::Producer* frequency = nullptr,
                       wave::Producer* offset = nullptr);
    ~XLFOFreqController() override;

    Property<SyncMode> syncMode;

    SourceInput& getFrequencyInput() { return frequencyInput; }
    SourceInput& getOffsetInput() { return offsetInput; }

    // The host's tempo (beats per minute; 0, a negative or a non-finite
    // tempo means unknown and counts as 120)
    // and song position (quarter notes) at the first sample of the coming
    // host block, for a controller on its own transport. Audio thread,
    // before the block.
    void setTempoAndPosition(double tempo, double position);
    // Control thread, while building: read this transport, which its owner
    // keeps for several controllers, instead of the own one. The owner takes
    // the reports and calls followTempo when the tempo changed (a report of
    // the same tempo would leave the rate as it is).
    void readTransport(const HostTransport& shared);
    void followTempo() { updateBase(); }

    // The tempo-synchronized rate in Hz before the offset (0 until the first
    // transport information in a sync mode).
    float getBaseTarget() const { return base.getRamp().getTarget(); }
    double getTempo() const { return transport->tempo; }
    XLFO& getXLFO() const { return xlfo; }

    // Audio thread.
    int process(wave::Block& target, int numSamples, int flags) override;

    void propertyChanged(PropertyBase& property) override;

private:
    void updateBase();

    XLFO& xlfo;
    SourceInput frequencyInput;
    SourceInput offsetInput;
    FloatParameterSource base;
    HostTransport ownTransport;
    const HostTransport* transport = &ownTransport;
    // The offset multiplier of the last block; 1 locks the XLFO to the bars.
    float lastOffset = 1.0f;
    // The next base change jumps instead of gliding: nothing was synchronized
    // yet, or the sync mode changed.
    bool jumpBase = true;
};
