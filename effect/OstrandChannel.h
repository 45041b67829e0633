#pragma once

#include "effect/InputGuard.h"
#include "filters/DelayLine.h"
#include "filters/EffectMixer.h"
#include "filters/FilterRouting.h"
#include "filters/MultiDesignFilter.h"
#include "filters/Router.h"
#include "filters/VolumeFilter.h"
#include "framework/GenericPlugin.h"
#include "wave/FloatParameterSource.h"

#include <array>
#include <memory>

class OstrandPlugin;

// The chain of one audio channel, in signal order:
//
//   main input → [input side: direct or mid/side] → input gain/pan
//     → filter routing (four filter units, each followed by its delay line)
//     → output gain/pan → [output side: direct or mid/side back to L/R]
//     → dry/wet mixer (dry = main input, delayed as the wet path is)
//     → audition switch → output
//
// The bracketed switches exist in two-channel instances only; their
// mid/side inputs are the plug-in-wide converters. Every control input
// (cut-off, peak, delay, gains, mix) reads the modulation matrix or the
// plug-in's combiners of it.
class OstrandChannel : public GenericPlugin::Channel {
public:
    static constexpr int numFilters = 4;

    // Control thread, while the plug-in builds itself (after its matrix,
    // filter slots and combiners exist).
    OstrandChannel(OstrandPlugin& plugin, int channelIndex);
    ~OstrandChannel() override;

    // Audio thread: a queued change reached the DSP (-1: all of them).
    // Drives the routing of a two-channel instance and the filters' amounts.
    void parameterChanged(int index) override;

    // Whether a parameter changes the latency of the filter routing (routing,
    // filter count, a filter's Enabled or Characteristic; -1: all).
    bool concernsLatency(int index) const;
    // The routing's latency as its branches give it, and the latency its
    // output and the dry path are brought to (at least that). Audio thread.
    int getNaturalLatency() const { return routing.getLatency(); }
    void alignTo(int samples);

    // Unlinks every input this channel reads from the plug-in's nodes, so
    // those may go first when the plug-in is destroyed.
    void detachFromPlugin();

    int getIndex() const { return index; }
    // The inputs with non-finite samples removed; every node reads these.
    InputGuard& getMainInput() { return mainIn; }
    InputGuard& getSideChain() { return sideIn; }
    MultiDesignFilter& getFilter(int n) const { return *filters[static_cast<std::size_t>(n)]; }
    DelayLine& getDelayLine(int n) const { return *delays[static_cast<std::size_t>(n)]; }
    FilterRouting& getRouting() { return routing; }
    VolumeFilter& getInputVolume() { return inVol; }
    VolumeFilter& getOutputVolume() { return outVol; }
    EffectMixer& getMixer() { return mixer; }
    Router& getAudition() { return audition; }
    // Two-channel instances only (null otherwise).
    Router* getInputSide() const { return inSide.get(); }
    Router* getOutputSide() const { return outSide.get(); }
    // The wet share a filter runs with: 1 while its routing element is in
    // use, 0 otherwise (after a 20 ms glide), so unused filters cost nothing.
    const FloatParameterSource& getAmount(int n) const { return *amounts[static_cast<std::size_t>(n)]; }

private:
    void applyRouting(int index);
    void wireCutoffs();
    void updateAmounts();
    bool concernsRouting(int index) const;

    OstrandPlugin& owner;
    int index;
    bool twoChannels;
    InputGuard mainIn;
    InputGuard sideIn;
    // The dry signal and the side chain, held back by the wet path's
    // latency: a mix of dry and wet does not comb, and the audition switch
    // changes what is heard, not when.
    DelayLine dryDelay;
    DelayLine sideDelay;
    std::array<std::unique_ptr<FloatParameterSource>, numFilters> amounts;
    // Filters and delay lines before the routing, which unlinks them when it goes.
    std::array<std::unique_ptr<DelayLine>, numFilters> delays;
    std::array<std::unique_ptr<MultiDesignFilter>, numFilters> filters;
    std::unique_ptr<Router> inSide;
    VolumeFilter inVol;
    FilterRouting routing;
    // Holds the routing's output back where the routing itself cannot: a
    // side whose filters are all off (Mid/Side, Per Channel) has no delay
    // line in it, yet must meet the other side in step. Its delay is a
    // source that holds still at 0, so with no alignment the line hands its
    // input on and does not even run.
    FloatParameterSource noDelay;
    DelayLine outAlign;
    VolumeFilter outVol;
    std::unique_ptr<Router> outSide;
    EffectMixer mixer;
    Router audition;
};
