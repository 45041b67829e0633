#include "filters/WeightedSum.h"

#include "wave/BlockLoops.h"

#include <algorithm>

void WeightedSum::reserve(std::size_t count)
{
    if (contributing.size() < count) {
        contributing.resize(count);
        gains.resize(count);
    }
}

WeightedSum::Result WeightedSum::run(std::span<const std::unique_ptr<WeightedInput>> inputs,
                                     wave::Block& target, const wave::Block& silence, int n)
{
    const std::size_t used = std::min(inputs.size(), contributing.size());
    if (used != routeInputs)
        route = unknown;
    if (route == silent)
        return {&silence, true};
    if (route >= 0) {
        WeightedInput& in = *inputs[static_cast<std::size_t>(route)];
        return {&in.pullAudio(n), in.getSource()->isConstant()};
    }
    if (route == mixing && n <= mixSamples)
        return mix(mixCount, target, n);

    // Gains first: an input whose gain is constantly 0 is not pulled at all,
    // so whatever feeds only that input does not run.
    std::size_t count = 0;
    std::size_t unity = 0;
    bool settled = true;
    for (std::size_t i = 0; i < used; ++i) {
        WeightedInput& in = *inputs[i];
        if (!in.getSource())
            continue;
        const ControlInput::Signal g = in.pullGain(n);
        settled = settled && in.hasSettledGain();
        if (isConstantZero(g))
            continue;
        unity = i;
        contributing[count] = &in;
        gains[count++] = g;
    }
    routeInputs = used;
    if (count == 0) {
        route = settled ? silent : unknown;
        return {&silence, true};
    }
    if (count == 1 && isConstantOne(gains[0])) {
        route = settled ? static_cast<int>(unity) : unknown;
        return {&contributing[0]->pullAudio(n), contributing[0]->getSource()->isConstant()};
    }

    // The gains' blocks hold their values for the n samples just pulled.
    route = settled ? mixing : unknown;
    mixCount = count;
    mixSamples = n;
    return mix(count, target, n);
}

WeightedSum::Result WeightedSum::mix(std::size_t count, wave::Block& target, int n)
{
    float* out = target.data();
    for (std::size_t k = 0; k < count; ++k) {
        const float* in = contributing[k]->pullAudio(n).data();
        if (k > 0)
            blockloops::multiplyAdd(out, in, gains[k].samples, n);
        else if (gains[k].constant)
            blockloops::scale(out, in, gains[k].samples[0], n);
        else
            blockloops::multiply(out, in, gains[k].samples, n);
    }
    return {&target, false};
}
