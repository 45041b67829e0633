#include "modulation/Trigger.h"

#include "wave/Graph.h"

#include <algorithm>

Trigger::Trigger(wave::Graph& graph, wave::Producer* level)
    : wave::Output(graph, level), holdTime(this, 15.0f), enabled(this, true),
      threshold(this, 1.0f, 0.0f, 0.9f)
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
    const float on = threshold;
    const float off = on * 0.5f;
    for (int k = 0; k < numSamples && eventCount < maxEvents; ++k) {
        if (state == 0) {
            if (x[k] >= on) {
                state = 1;
                belowCounter = 0;
                events[static_cast<std::size_t>(eventCount++)] = {k, true};
            }
        } else if (x[k] >= off) {
            belowCounter = 0;
        } else if (++belowCounter > releaseCount) {
            state = 0;
            belowCounter = 0;
            events[static_cast<std::size_t>(eventCount++)] = {k, false};
        }
    }
}
