#include "modulation/Trigger.h"

#include "wave/Graph.h"

#include <algorithm>

namespace {

// The first sample of [from, to) at or above level, else to. (A NaN is never
// at or above it, as in the comparison sample by sample.)
int firstAtOrAbove(const float* x, int from, int to, float level)
{
    int k = from;
    for (; k + 4 <= to; k += 4) {
        if (x[k] >= level || x[k + 1] >= level || x[k + 2] >= level || x[k + 3] >= level)
            break;
    }
    for (; k < to; ++k) {
        if (x[k] >= level)
            return k;
    }
    return to;
}

// The first sample of [from, to) below level (or NaN), else to.
int firstBelow(const float* x, int from, int to, float level)
{
    int k = from;
    for (; k + 4 <= to; k += 4) {
        if (!(x[k] >= level && x[k + 1] >= level && x[k + 2] >= level && x[k + 3] >= level))
            break;
    }
    for (; k < to; ++k) {
        if (!(x[k] >= level))
            return k;
    }
    return to;
}

// The last sample of [from, to) at or above level, else from - 1.
int lastAtOrAbove(const float* x, int from, int to, float level)
{
    int k = to;
    for (; k - 4 >= from; k -= 4) {
        if (x[k - 1] >= level || x[k - 2] >= level || x[k - 3] >= level || x[k - 4] >= level)
            break;
    }
    for (; k > from; --k) {
        if (x[k - 1] >= level)
            return k - 1;
    }
    return from - 1;
}

} // namespace

Trigger::Trigger(wave::Graph& graph, wave::Producer* level, Trigger* sharesWith)
    : wave::Output(graph, level), holdTime(this, 15.0f), enabled(this, true),
      threshold(this, 1.0f, 0.0f, 0.9f), lastSearch(sharesWith ? sharesWith->lastSearch : &ownSearch)
{
    updateReleaseCount();
}

void Trigger::propertyChanged(PropertyBase& property)
{
    if (&property == &holdTime)
        updateReleaseCount();
}

void Trigger::updateReleaseCount()
{
    countedRate = getGraph().getSampleRate();
    const float samples = countedRate * holdTime.get() * 0.001f;
    releaseCount = samples >= 1.0f ? static_cast<int>(std::min(samples, 1.0e9f)) : 1;
}

void Trigger::reset()
{
    state = 0;
    belowCounter = 0;
    eventCount = 0;
}

void Trigger::run(int numSamples)
{
    eventCount = 0;
    if (countedRate != getGraph().getSampleRate())
        updateReleaseCount();
    const wave::Block* input = pull(numSamples);
    if (!input)
        return;
    const float* x = input->data();
    // The same block (same frame, same samples), the same settings, the
    // same state: the same findings.
    Search& last = *lastSearch;
    const std::uint32_t frame = getGraph().getFrame();
    if (last.frame == frame && last.level == x && last.numSamples == numSamples &&
        last.threshold == threshold.get() && last.releaseCount == releaseCount && last.state == state &&
        last.belowCounter == belowCounter) {
        state = last.stateAfter;
        belowCounter = last.belowCounterAfter;
        eventCount = last.eventCount;
        std::copy_n(last.searcher->events.begin(), eventCount, events.begin());
        return;
    }
    last = Search{frame, x, numSamples, threshold.get(), releaseCount, state, belowCounter, 0, 0, 0, this};
    search(x, numSamples);
    last.stateAfter = state;
    last.belowCounterAfter = belowCounter;
    last.eventCount = eventCount;
}

void Trigger::search(const float* x, int numSamples)
{
    const float on = threshold;
    const float off = on * 0.5f;
    // The level mostly stays on one side of the thresholds for many samples:
    // each step below looks ahead for the one sample that changes something
    // (the gate opening, the level coming back above half the threshold, or
    // the hold running out) instead of walking sample by sample.
    int k = 0;
    while (k < numSamples && eventCount < maxEvents) {
        if (state == 0) {
            k = firstAtOrAbove(x, k, numSamples, on);
            if (k == numSamples)
                break;
            state = 1;
            belowCounter = 0;
            events[static_cast<std::size_t>(eventCount++)] = {k++, true};
            continue;
        }
        // Open: samples at or above half the threshold keep the hold at its
        // start; the gate closes on the sample that makes the count of
        // samples below it exceed the hold.
        if (releaseCount >= numSamples - k) {
            // The hold outlasts the rest of the block: once a sample at or
            // above half the threshold comes before the hold runs out, the
            // gate stays open to the block's end, and only the last such
            // sample matters (the count starts again after it). The level
            // crosses half the threshold many times a block (audio does),
            // so this spares a look-ahead per crossing.
            const int firstAbove = firstAtOrAbove(x, k, numSamples, off);
            if (firstAbove < numSamples && firstAbove - k <= releaseCount - belowCounter) {
                belowCounter = numSamples - 1 - lastAtOrAbove(x, firstAbove, numSamples, off);
                break;
            }
        }
        const int below = firstBelow(x, k, numSamples, off);
        if (below > k) {
            belowCounter = 0;
            k = below;
            if (k == numSamples)
                break;
        }
        const int closeAt = k + (releaseCount - belowCounter);
        const int stop = std::min(closeAt + 1, numSamples);
        const int back = firstAtOrAbove(x, k, stop, off);
        if (back < stop) {
            belowCounter = 0;
            k = back + 1;
        } else if (stop > closeAt) {
            state = 0;
            belowCounter = 0;
            events[static_cast<std::size_t>(eventCount++)] = {closeAt, false};
            k = closeAt + 1;
        } else {
            belowCounter += stop - k;
            k = stop;
        }
    }
}
