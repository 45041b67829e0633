#include "modulation/XLFOFreqController.h"

#include "modulation/XLFO.h"

#include <cmath>

namespace {
// An offset this close to 1 counts as no offset: the XLFO stays on the bars.
constexpr float lockedOffset = 1e-6f;
} // namespace

XLFOFreqController::XLFOFreqController(wave::Graph& graph, XLFO& owner, wave::Producer* frequency,
                                       wave::Producer* offset)
    : wave::Source(graph), syncMode(this, SyncMode::Free), xlfo(owner),
      frequencyInput(graph, 1.0f, 0.0f, 5000.0f), offsetInput(graph, 1.0f, 0.0f, 4.0f), base(graph, 0.0f)
{
    ownTransport.positionAt = graph.getPosition();
    base.getRamp().setLimits(0.0f, 1000.0f);
    frequencyInput.connect(frequency);
    offsetInput.connect(offset);
    xlfo.followTransport(transport);
}

void XLFOFreqController::readTransport(const HostTransport& shared)
{
    transport = &shared;
    xlfo.followTransport(transport);
}

XLFOFreqController::~XLFOFreqController() = default;

void XLFOFreqController::propertyChanged(PropertyBase& property)
{
    if (&property != &syncMode)
        return;
    // A new cycle length is a new rhythm: no glide from the old one. The
    // rate the controller may rest on is another one now (leaving the sync
    // modes moves no ramp that would say so).
    jumpBase = true;
    updateBase();
    getGraph().endRests();
}

void XLFOFreqController::setTempoAndPosition(double tempo, double position)
{
    ownTransport.take(tempo, position, getGraph().getPosition());
    updateBase();
}

void XLFOFreqController::updateBase()
{
    if (syncMode.get() == SyncMode::Free)
        return;
    const double hz = transport->tempo / (syncModeBars(syncMode) * 240.0);
    // A locked XLFO takes a new tempo at once, as the host's bars do; an
    // offset one glides, since its phase does not follow the bars anyway.
    const bool locked = std::fabs(lastOffset - 1.0f) <= lockedOffset;
    base.setTarget(jumpBase || locked ? 0.0f : ParameterRamp::automaticTime, static_cast<float>(hz));
    jumpBase = false;
}

int XLFOFreqController::process(wave::Block& target, int numSamples, int)
{
    if (syncMode.get() == SyncMode::Free) {
        const wave::Block& frequency = frequencyInput.pull(numSamples);
        setLastBlock(frequency);
        setConstant(frequencyInput.isConstant());
        // Free of the bars, the XLFO still follows the song position, so a
        // MIDI trigger knows where the bars start when a sync mode is chosen
        // later. The frequency's block is handed on as it stands until a
        // relinked input or another mode ends the rest.
        xlfo.setSyncCycle(1.0, false);
        handOn(frequencyInput.getSource());
        return numSamples;
    }
    const wave::Block& rate = base.pull(numSamples);
    const wave::Block& offset = offsetInput.pull(numSamples);
    float* out = target.data();
    for (int k = 0; k < numSamples; ++k)
        out[k] = rate[k] * offset[k];
    setConstant(base.isConstant() && offsetInput.isConstant());
    lastOffset = numSamples > 0 ? offset[0] : 1.0f;
    const bool locked = std::fabs(lastOffset - 1.0f) <= lockedOffset;
    xlfo.setSyncCycle(syncModeBars(syncMode), locked);
    // A new tempo moves the base ramp, which ends the rest.
    if (base.holdsStill() && offsetInput.holdsStill())
        restOn(target, numSamples);
    return numSamples;
}
