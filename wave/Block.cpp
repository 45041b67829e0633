#include "wave/Block.h"

#include <algorithm>
#include <new>

namespace wave {

Block::Block(int size) : numSamples(std::max(size, 0))
{
    // Round the allocation up to whole cache lines so the vector loops may
    // read a full four-sample group past an odd sample count.
    const std::size_t bytes =
        (static_cast<std::size_t>(numSamples) * sizeof(float) + alignment - 1) / alignment * alignment;
    samples = static_cast<float*>(
        ::operator new (std::max<std::size_t>(bytes, alignment), std::align_val_t{alignment}));
    std::fill_n(samples, std::max<std::size_t>(bytes, alignment) / sizeof(float), 0.0f);
}

Block::~Block()
{
    ::operator delete (samples, std::align_val_t{alignment});
}

void Block::fill(float value, int from, int to)
{
    from = std::max(from, 0);
    to = std::min(to, numSamples);
    if (from < to)
        std::fill(samples + from, samples + to, value);
}

} // namespace wave
