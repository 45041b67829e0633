#include "effect/OstrandChannel.h"

#include "effect/FilterAssignment.h"
#include "effect/OstrandPlugin.h"
#include "filters/FilterAnalyzer.h"
#include "filters/MidSideConverter.h"
#include "modulation/LevelPanTarget.h"
#include "modulation/ModulationMatrix.h"

#include <algorithm>

namespace {

constexpr int directInput = 0;
constexpr int midSideInput = 1;

} // namespace

OstrandChannel::OstrandChannel(OstrandPlugin& effect, int channelIndex)
    : GenericPlugin::Channel(effect), owner(effect), index(channelIndex),
      twoChannels(effect.getNumChannels() == 2), mainIn(effect.getGraph(), getInput()),
      sideIn(effect.getGraph(), getSideChainInput()), dryDelay(effect.getGraph(), 0.0f, &mainIn),
      sideDelay(effect.getGraph(), 0.0f, &sideIn), inVol(effect.getGraph()),
      routing(effect.getGraph(), &inVol), noDelay(effect.getGraph(), 0.0f),
      outAlign(effect.getGraph(), 0.0f, &routing),
      outVol(effect.getGraph(), &outAlign), mixer(effect.getGraph()),
      audition(effect.getGraph(), 3, OstrandPlugin::auditionOutput)
{
    wave::Graph& graph = effect.getGraph();
    ModulationMatrix& matrix = *effect.getModulationMatrix();
    for (int n = 0; n < numFilters; ++n) {
        const auto i = static_cast<std::size_t>(n);
        amounts[i] = std::make_unique<FloatParameterSource>(graph, n == 0 ? 1.0f : 0.0f);
        // The delay target is clamped to the Delay parameter's range, so the
        // line needs room for that much and no more.
        const int delayTarget = 4 * n + 3;
        delays[i] = std::make_unique<DelayLine>(graph, matrix.getTargetEntry(delayTarget).maximum);
        delays[i]->delay.setSource(&matrix.getTargetController(delayTarget));
        filters[i] = std::make_unique<MultiDesignFilter>(graph, effect.getFilterSlot(n));
        MultiDesignFilter& f = *filters[i];
        f.peak.setSource(&matrix.getTargetController(4 * n + 2));
        f.peakMultiplier.setSource(&effect.getAnalyzer());
        f.amount.setSource(amounts[i].get());
    }

    if (twoChannels) {
        inSide = std::make_unique<Router>(graph, 2, directInput);
        inSide->setInput(directInput, &mainIn);
        inVol.setSource(inSide.get());
        inVol.gain.setSource(&effect.getInputGainPan().getOutput(index));
        outVol.gain.setSource(&effect.getOutputGainPan().getOutput(index));
        outSide = std::make_unique<Router>(graph, 2, directInput);
        outSide->setInput(directInput, &outVol);
    } else {
        inVol.setSource(&mainIn);
        inVol.gain.setSource(&matrix.getTargetController(66));
        outVol.gain.setSource(&matrix.getTargetController(68));
    }
    outAlign.delay.setSource(&noDelay);
    wireCutoffs();

    for (int n = 0; n < numFilters; ++n)
        routing.addElement(*filters[static_cast<std::size_t>(n)], delays[static_cast<std::size_t>(n)].get());

    mixer.setDry(&dryDelay);
    mixer.setWet(outSide ? static_cast<wave::Producer*>(outSide.get()) : &outVol);
    mixer.mix.setSource(&matrix.getTargetController(70));

    audition.setInput(OstrandPlugin::auditionOutput, &mixer);
    audition.setInput(OstrandPlugin::auditionInput, &dryDelay);
    audition.setInput(OstrandPlugin::auditionSideChain, &sideDelay);
    setOutput(&audition);
}

OstrandChannel::~OstrandChannel() = default;

void OstrandChannel::detachFromPlugin()
{
    for (int n = 0; n < numFilters; ++n) {
        MultiDesignFilter& f = *filters[static_cast<std::size_t>(n)];
        f.cutoff.setSource(nullptr);
        f.peak.setSource(nullptr);
        f.peakMultiplier.setSource(nullptr);
        delays[static_cast<std::size_t>(n)]->delay.setSource(nullptr);
    }
    inVol.gain.setSource(nullptr);
    outVol.gain.setSource(nullptr);
    mixer.mix.setSource(nullptr);
    if (inSide)
        inSide->setInput(midSideInput, nullptr);
    if (outSide)
        outSide->setInput(midSideInput, nullptr);
}

void OstrandChannel::wireCutoffs()
{
    // In Stereo mode each channel runs the filter's frequency moved by the
    // filter's pan (left down, right up, or the other way); in the split
    // modes every channel has filters of its own and the pan plays no part.
    const bool panned = twoChannels && owner.routingModeState.get() == RoutingMode::Stereo;
    ModulationMatrix& matrix = *owner.getModulationMatrix();
    for (int n = 0; n < numFilters; ++n) {
        wave::Producer* cutoff = panned ? static_cast<wave::Producer*>(&owner.getFrequencyPan(n).getOutput(index))
                                        : &matrix.getTargetController(4 * n);
        filters[static_cast<std::size_t>(n)]->cutoff.setSource(cutoff);
    }
}

bool OstrandChannel::concernsRouting(int i) const
{
    if (i == -1 || i == owner.routing.getIndex() || i == owner.routingMode.getIndex() ||
        i == owner.filters.getNumActiveParameter().getIndex())
        return true;
    for (int n = 0; n < numFilters; ++n)
        if (i == owner.filters[n].enabled.getIndex())
            return true;
    return false;
}

bool OstrandChannel::concernsLatency(int i) const
{
    if (concernsRouting(i))
        return true;
    for (int n = 0; n < numFilters; ++n)
        if (i == owner.filters[n].characteristic.getIndex())
            return true;
    return false;
}

void OstrandChannel::alignTo(int samples)
{
    outAlign.setAlignment(std::clamp(samples - routing.getLatency(), 0, DelayLine::longestAlignment));
    const int wetLatency = routing.getLatency() + outAlign.getAlignment();
    dryDelay.setAlignment(wetLatency);
    sideDelay.setAlignment(wetLatency);
}

void OstrandChannel::parameterChanged(int i)
{
    // The characteristics are bound to the filters, which have taken the
    // new one by now.
    if (concernsLatency(i))
        for (int n = 0; n < numFilters; ++n)
            routing.getElement(n).setLatency(filters[static_cast<std::size_t>(n)]->getLatency());
    if (!concernsRouting(i))
        return;
    // A one-channel instance has the routing parameters bound to its
    // routing's properties; a stereo one works them out per channel.
    if (twoChannels)
        applyRouting(i);
    updateAmounts();
}

void OstrandChannel::applyRouting(int i)
{
    const RoutingMode mode = owner.routingModeState.get();
    const bool modeChanged = i == -1 || i == owner.routingMode.getIndex();
    if (modeChanged) {
        const int side = mode == RoutingMode::MidSide ? midSideInput : directInput;
        if (side != inSide->selection.get() || side != outSide->selection.get()) {
            inSide->select(side, ParameterRamp::automaticTime);
            outSide->select(side, ParameterRamp::automaticTime);
        }
        wireCutoffs();
    }
    const FilterAssignment a =
        FilterAssignment::forChannel(mode, owner.routingState.get(), owner.filterCountState.get(), index, true);
    routing.activeFilterCount = a.filterCount;
    routing.routingIndex = a.configuration;
    for (int n = 0; n < numFilters; ++n)
        routing.getElement(n).enabled = owner.enabledState[static_cast<std::size_t>(n)].get() && a.uses[n];
}

void OstrandChannel::updateAmounts()
{
    // They glide with the routing's switches (and end with them at a graph
    // reset).
    for (int n = 0; n < numFilters; ++n)
        amounts[static_cast<std::size_t>(n)]->setTarget(ParameterRamp::automaticTime,
                                                         routing.getElement(n).isActive() ? 1.0f : 0.0f);
}
