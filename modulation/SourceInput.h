#pragma once

#include "wave/Consumer.h"
#include "wave/FloatParameterSource.h"

// A rate, time or level that a modulation source reads as a signal, one
// value per sample: the linked producer (normally the modulation matrix's
// signal for one of the source's own targets), or the source's own smoothed
// value while nothing else is linked. Tests drive the own value directly.
class SourceInput : public wave::Consumer {
public:
    // Control thread, while building. The own value starts at initial,
    // clamped into [lower, upper], and glides within those limits.
    SourceInput(wave::Graph& graph, float initial, float lower, float upper);
    ~SourceInput() override;

    // Control thread while building, or the audio thread when the effect
    // rewires; null returns to the own value. Never allocates.
    void connect(wave::Producer* producer) { setSource(producer ? producer : &internal); }
    bool isConnected() const { return getSource() != &internal; }

    // The own value (see FloatParameterSource::setTarget). Audio thread.
    FloatParameterSource& getInternal() { return internal; }

    // This frame's block of the linked producer or of the own value.
    const wave::Block& pull(int numSamples) { return getSource()->pull(numSamples); }
    bool isConstant() const { return getSource()->isConstant(); }
    // The linked producer is at rest (see wave::Producer::holdsStill): the
    // block just pulled keeps its value until the graph's rests end.
    bool holdsStill() const { return getSource()->holdsStill(); }

private:
    FloatParameterSource internal;
};
