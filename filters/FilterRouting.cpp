#include "filters/FilterRouting.h"

#include "filters/DelayLine.h"
#include "wave/ParameterRamp.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace {

constexpr int inputBit = 1;

int filterBit(int slot)
{
    return 1 << (slot + 1);
}

// A mask naming exactly one filter: that filter's slot, else -1.
int singleFilter(int mask)
{
    for (int slot = 0; slot < FilterRouting::maxElements; ++slot) {
        if (mask == filterBit(slot))
            return slot;
    }
    return -1;
}

} // namespace

const std::array<FilterRouting::Masks, FilterRouting::configurationCount>& FilterRouting::arrangements()
{
    static const std::array<Masks, configurationCount> table = {{
        {1, 2, 4, 8, 16},  // 1 > 2 > 3 > 4
        {1, 1, 1, 1, 30},  // 1 | 2 | 3 | 4
        {1, 2, 1, 8, 20},  // (1 > 2) | (3 > 4)
        {1, 1, 6, 6, 24},  // (1 | 2) > (3 | 4)
        {1, 2, 4, 1, 24},  // (1 > 2 > 3) | 4
        {1, 1, 1, 14, 16}, // (1 | 2 | 3) > 4
        {1, 2, 1, 1, 28},  // (1 > 2) | 3 | 4
        {1, 1, 6, 8, 16},  // (1 | 2) > 3 > 4
    }};
    return table;
}

FilterRouting::FilterRouting(wave::Graph& graph, wave::Producer* source)
    : wave::Filter(graph, source), routingIndex(this, 0), activeFilterCount(this, 0)
{
    configurations.reserve(configurationCount);
    for (const Masks& masks : arrangements())
        configurations.push_back({masks, maxElements});
    elements.reserve(maxElements);
    mixers.reserve(maxElements);
}

FilterRouting::~FilterRouting()
{
    // Unlink everything first: the links cross between the elements, the
    // mixers and the filters, which all go at different times. The filters
    // and delay lines outlive the routing and are left reading nothing of ours.
    for (auto& element : elements) {
        element->setInput(nullptr);
        element->router.setInput(RoutingElement::processedInput, nullptr);
        if (element->delay)
            element->delay->setSource(nullptr);
    }
    for (auto& mixer : mixers) {
        for (int i = 0; i < mixer->getInputCount(); ++i)
            mixer->setInput(i, nullptr);
    }
}

FilterRouting::RoutingElement& FilterRouting::addElement(wave::Filter& filter, DelayLine* delayLine)
{
    if (getElementCount() >= maxElements)
        throw std::length_error("A filter routing holds at most four filters");
    const int slot = getElementCount();
    elements.push_back(std::make_unique<RoutingElement>(*this, slot, filter, delayLine));
    mixers.push_back(std::make_unique<Mixer>(getGraph(), slot + 2, Mixer::sum));
    Mixer& mixer = *mixers.back();
    for (int j = 0; j <= slot; ++j)
        mixer.setInput(j + 1, &elements[static_cast<std::size_t>(j)]->router);
    activeFilterCount.setQuietly(getElementCount());
    rewire();
    updateActive(0.0f);
    updateGains(0.0f);
    return *elements.back();
}

void FilterRouting::rewire()
{
    wave::Producer* input = getSource();
    wiredInput = input;
    for (std::size_t k = 0; k < elements.size(); ++k)
        elements[k]->setInput(k == 0 ? input : mixers[k - 1].get());
    for (auto& mixer : mixers)
        mixer->setInput(0, input);
}

bool FilterRouting::isActive(int slot) const
{
    return slot < getElementCount() && elements[static_cast<std::size_t>(slot)]->isActive();
}

void FilterRouting::propertyChanged(PropertyBase& property)
{
    if (&property == &routingIndex) {
        const int clamped = std::clamp(routingIndex.get(), 0, configurationCount - 1);
        if (clamped != routingIndex.get()) {
            routingIndex = clamped; // notifies again
            return;
        }
    } else if (&property == &activeFilterCount) {
        const int clamped = std::clamp(activeFilterCount.get(), 0, getElementCount());
        if (clamped != activeFilterCount.get()) {
            activeFilterCount = clamped;
            return;
        }
    } else {
        return;
    }
    updateActive(ParameterRamp::automaticTime);
    updateGains(ParameterRamp::automaticTime);
}

void FilterRouting::updateActive(float timeMs)
{
    for (auto& element : elements)
        element->updateRouter(timeMs);
}

// A filter is left out of the mixes when it is bypassed along a chain that
// ends in a parallel sibling: its signal would then be a copy of what enters
// that sibling, weighting the unfiltered signal twice.
int FilterRouting::computeSkipMask() const
{
    const Masks& masks = configurations[static_cast<std::size_t>(routingIndex.get())].masks;
    int skip = 0;
    for (int slot = 0; slot < maxElements; ++slot) {
        const int bit = filterBit(slot);
        // The first consumer of this filter: a later filter, else the output.
        int consumer = 0;
        for (int later = slot + 1; later < maxElements && !consumer; ++later) {
            if (masks[static_cast<std::size_t>(later)] & bit)
                consumer = masks[static_cast<std::size_t>(later)];
        }
        if (!consumer && (masks[4] & bit))
            consumer = masks[4];
        if (!consumer || consumer == bit)
            continue;
        const int rest = consumer & ~bit;

        int walk = slot;
        while (walk >= 0 && !isActive(walk)) {
            const int own = masks[static_cast<std::size_t>(walk)];
            bool sibling = false;
            for (int other = 0; other < maxElements; ++other)
                sibling = sibling || (other != walk && masks[static_cast<std::size_t>(other)] == own);
            if (sibling) {
                if ((rest & ~skip) != 0)
                    skip |= bit;
                break;
            }
            walk = singleFilter(own);
        }
    }
    return skip;
}

void FilterRouting::updateGains(float timeMs)
{
    skipMask = computeSkipMask();
    const Masks& masks = configurations[static_cast<std::size_t>(routingIndex.get())].masks;
    const int count = getElementCount();
    for (int k = 0; k < count; ++k) {
        Mixer& mixer = *mixers[static_cast<std::size_t>(k)];
        const int inputs = k + 2;
        const int reachable = (1 << inputs) - 1;
        const int mask = (k + 1 < count ? masks[static_cast<std::size_t>(k) + 1] : masks[4]) & reachable;
        int used = mask & ~skipMask;
        // Never silence a branch: should every source be skipped, average
        // them all, and with no source at all pass the input on.
        if (!used)
            used = mask ? mask : inputBit;
        int included = 0;
        for (int i = 0; i < inputs; ++i)
            included += (used >> i) & 1;
        const float share = 1.0f / static_cast<float>(included);
        for (int i = 0; i < inputs; ++i)
            mixer.setGain(i, (used >> i) & 1 ? share : 0.0f, timeMs);
        usedSources[static_cast<std::size_t>(k)] = used;
    }
    updateAlignment();
}

// The element whose delay line can hold back what source i of a mix carries
// (0: the input, k + 1: element k): the element itself when it is active,
// through a bypassed one what enters it when that is a single source; -1
// when there is none.
int FilterRouting::holdPointOf(int source) const
{
    while (source > 0) {
        const int slot = source - 1;
        const RoutingElement& e = *elements[static_cast<std::size_t>(slot)];
        if (e.isActive())
            return e.delay ? slot : -1;
        if (slot == 0)
            return -1;
        const int used = usedSources[static_cast<std::size_t>(slot) - 1];
        if (used & (used - 1))
            return -1;
        source = std::countr_zero(static_cast<unsigned>(used));
    }
    return -1;
}

// Walks the mixes in signal order: a source reaches a mix as late as the
// processing before it delays it, and the first source found sooner than
// the latest of its mix is held back by the difference, after which the
// walk starts over. Holding back only ever lengthens, so it ends.
void FilterRouting::updateAlignment()
{
    const int count = getElementCount();
    std::array<int, maxElements> hold{};
    std::array<int, maxElements + 1> arrival{}; // 0: the input, k + 1: element k
    std::array<int, maxElements> mixed{};       // the latest source of each mixer
    auto walk = [&] {
        for (int k = 0; k < count; ++k) {
            const RoutingElement& e = *elements[static_cast<std::size_t>(k)];
            const int in = k ? mixed[static_cast<std::size_t>(k) - 1] : 0;
            arrival[static_cast<std::size_t>(k) + 1] =
                in + (e.isActive() ? e.filterLatency + hold[static_cast<std::size_t>(k)] : 0);
            int latest = 0;
            for (int i = 0; i <= k + 1; ++i)
                if ((usedSources[static_cast<std::size_t>(k)] >> i) & 1)
                    latest = std::max(latest, arrival[static_cast<std::size_t>(i)]);
            mixed[static_cast<std::size_t>(k)] = latest;
        }
    };
    // Brings the sources of mixer k to `wanted`; false when nothing moved.
    auto holdBack = [&](int k, int wanted) {
        for (int i = 0; i <= k + 1; ++i) {
            const int early = wanted - arrival[static_cast<std::size_t>(i)];
            if (!((usedSources[static_cast<std::size_t>(k)] >> i) & 1) || early <= 0)
                continue;
            const int at = holdPointOf(i);
            if (at < 0 || hold[static_cast<std::size_t>(at)] + early > DelayLine::longestAlignment)
                continue;
            hold[static_cast<std::size_t>(at)] += early;
            return true;
        }
        return false;
    };
    for (int round = 0; round < 4 * DelayLine::longestAlignment; ++round) {
        walk();
        bool moved = false;
        for (int k = 0; k < count && !moved; ++k)
            moved = holdBack(k, mixed[static_cast<std::size_t>(k)]);
        if (!moved)
            break;
    }
    latency = count ? mixed[static_cast<std::size_t>(count) - 1] : 0;
    for (int k = 0; k < count; ++k)
        if (DelayLine* d = elements[static_cast<std::size_t>(k)]->delay)
            d->setAlignment(elements[static_cast<std::size_t>(k)]->isActive() ? hold[static_cast<std::size_t>(k)] : 0);
}

void FilterRouting::processBlock(const wave::Block* input, wave::Block&, int n, int flags)
{
    if (getSource() != wiredInput)
        rewire();
    if (flags & (OutputNotNeeded | NoConsumer))
        return;
    if (mixers.empty()) {
        setLastBlock(input ? *input : getGraph().getScratch());
        setConstant(!input || getSource()->isConstant());
        return;
    }
    Mixer& last = *mixers.back();
    setLastBlock(last.pull(n, 0));
    setConstant(last.isConstant());
}

// --- RoutingElement ----------------------------------------------------------

FilterRouting::RoutingElement::RoutingElement(FilterRouting& routing, int slot, wave::Filter& filter,
                                              DelayLine* delayLine)
    : enabled(this, true), owner(routing), slotIndex(slot), filterNode(filter), delay(delayLine),
      router(routing.getGraph(), 2, processedInput)
{
    if (delay)
        delay->setSource(&filterNode);
    router.setInput(processedInput, delay ? static_cast<wave::Producer*>(delay) : &filterNode);
}

void FilterRouting::RoutingElement::setInput(wave::Producer* signal)
{
    filterNode.setSource(signal);
    router.setInput(bypassInput, signal);
}

void FilterRouting::RoutingElement::setLatency(int samples)
{
    if (samples == filterLatency)
        return;
    filterLatency = samples;
    owner.updateAlignment();
}

void FilterRouting::RoutingElement::updateRouter(float timeMs)
{
    router.select(isActive() ? processedInput : bypassInput, timeMs);
}

void FilterRouting::RoutingElement::propertyChanged(PropertyBase& property)
{
    if (&property != &enabled)
        return;
    updateRouter(ParameterRamp::automaticTime);
    owner.updateGains(ParameterRamp::automaticTime);
}
