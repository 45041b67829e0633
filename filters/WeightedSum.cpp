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
    // Gains first: an input whose gain is constantly 0 is not pulled at all,
    // so whatever feeds only that input does not run.
    std::size_t count = 0;
    const std::size_t used = std::min(inputs.size(), contributing.size());
    for (std::size_t i = 0; i < used; ++i) {
        WeightedInput& in = *inputs[i];
        if (!in.getSource())
            continue;
        const ControlInput::Signal g = in.pullGain(n);
        if (isConstantZero(g))
            continue;
        contributing[count] = &in;
        gains[count++] = g;
    }
    if (count == 0)
        return {&silence, true};
    if (count == 1 && isConstantOne(gains[0]))
        return {&contributing[0]->pullAudio(n), contributing[0]->getSource()->isConstant()};

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
