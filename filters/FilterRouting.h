#pragma once

#include "filters/Mixer.h"
#include "filters/Router.h"
#include "framework/Property.h"
#include "wave/Filter.h"

#include <array>
#include <memory>
#include <vector>

class DelayLine;

// Connects the up to four filters of one channel path in one of eight
// arrangements of serial and parallel branches. The signal entering a
// filter, and the routing's output, is the average of the sources the
// arrangement names for it: bit 0 of a source mask is the routing's input,
// bit k the output of filter k.
//
// Each slot is a RoutingElement: the filter, the delay line after it, and a
// router that outputs either the processed signal or, while the element is
// not active, the signal that enters it (a bypass). A bypassed filter whose
// signal would only duplicate a parallel branch is left out of the averages
// (the skip mask), so that three parallel filters sound like three and not
// like three plus an unfiltered copy.
//
// Mixer k mixes the input and the first k + 1 elements; it feeds element
// k + 1, and the last mixer is the output. Gains change only on property
// notifications and glide there (the mixers' own smoothing); a graph reset
// ends the glides, which is how settings made before processing take
// effect at once.
//
// A filter may delay its signal by a few samples (its latency, set by the
// owner). Where branches of different latencies meet in a mix they would
// comb, so the delay lines of the shorter ones add the difference as an
// alignment. Bringing the output to a longer latency, to meet the owner's
// other paths, is the owner's work: a line after the routing does it
// whatever the routing holds, even with every filter off.
class FilterRouting : public wave::Filter, public PropertyOwner {
public:
    static constexpr int configurationCount = 8;
    static constexpr int maxElements = 4;
    // Five source masks: filters 1 .. 4, then the output.
    using Masks = std::array<int, 5>;

    struct Configuration {
        const Masks& masks;
        int filterCount;
    };

    class RoutingElement;

    // The eight arrangements, in routing-index order.
    static const std::array<Masks, configurationCount>& arrangements();

    // Control thread, while building.
    explicit FilterRouting(wave::Graph& graph, wave::Producer* source = nullptr);
    ~FilterRouting() override;

    // Clamped to 0 .. 7.
    Property<int> routingIndex;
    // Slots below this count are in use; clamped to 0 .. element count. Set
    // to the element count by every addElement, later by the owner.
    Property<int> activeFilterCount;

    // Appends a slot: the filter (any graph filter) and the delay line that
    // follows it (made to read the filter; null for none). Builds its router
    // and its mixer and wires them. Control thread, while building; at most
    // four elements (further calls throw std::length_error). The filter and
    // the delay line are not owned and must outlive the routing, which
    // unlinks them when it goes.
    RoutingElement& addElement(wave::Filter& filter, DelayLine* delayLine);

    int getElementCount() const { return static_cast<int>(elements.size()); }
    RoutingElement& getElement(int slot) const { return *elements[static_cast<std::size_t>(slot)]; }
    Mixer& getMixer(int index) const { return *mixers[static_cast<std::size_t>(index)]; }
    const Configuration& getConfiguration(int index) const
    {
        return configurations[static_cast<std::size_t>(index)];
    }
    // Bit k set: filter k (1-based) is left out of every mix.
    int getSkipMask() const { return skipMask; }

    // The latency of the output, in samples: the longest of the branches that
    // reach it.
    int getLatency() const { return latency; }

    // Audio thread: rewires when the input connection changed, then hands on
    // the last mixer's block (the input block without elements). With
    // OutputNotNeeded nothing is pulled.
    void processBlock(const wave::Block* input, wave::Block& output, int numSamples, int flags) override;

    void propertyChanged(PropertyBase& property) override;

private:
    friend class RoutingElement;
    void rewire();
    void updateActive(float timeMs);
    void updateGains(float timeMs);
    void updateAlignment();
    int holdPointOf(int source) const;
    int computeSkipMask() const;
    bool isActive(int slot) const;

    std::vector<Configuration> configurations;
    std::vector<std::unique_ptr<RoutingElement>> elements;
    std::vector<std::unique_ptr<Mixer>> mixers;
    wave::Producer* wiredInput = nullptr;
    int skipMask = 0;
    std::array<int, maxElements> usedSources{}; // the source mask each mixer averages
    int latency = 0;
};

// One slot of the routing: filter, delay line and the bypass router.
class FilterRouting::RoutingElement : public PropertyOwner {
public:
    RoutingElement(FilterRouting& routing, int slot, wave::Filter& filter, DelayLine* delayLine);
    virtual ~RoutingElement() = default;
    RoutingElement(const RoutingElement&) = delete;
    RoutingElement& operator=(const RoutingElement&) = delete;

    // The filter's "Enabled" switch. Audio thread (parameter changes) or
    // control thread.
    Property<bool> enabled;

    bool isActive() const { return enabled && slotIndex < owner.activeFilterCount; }
    // Samples by which the filter delays what it processes.
    int getLatency() const { return filterLatency; }
    void setLatency(int samples);
    int getSlot() const { return slotIndex; }
    wave::Filter& getFilter() const { return filterNode; }
    DelayLine* getDelayLine() const { return delay; }
    // What the element passes on: the processed or the bypassed signal.
    Router& getRouter() { return router; }

    void propertyChanged(PropertyBase& property) override;

private:
    friend class FilterRouting;
    static constexpr int processedInput = 0;
    static constexpr int bypassInput = 1;
    void updateRouter(float timeMs);
    void setInput(wave::Producer* signal);

    FilterRouting& owner;
    int slotIndex;
    wave::Filter& filterNode;
    DelayLine* delay;
    Router router;
    int filterLatency = 0;
};
