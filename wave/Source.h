#pragma once

#include "wave/Producer.h"

namespace wave {

// A producer without a pulled input: oscillators, envelopes, parameter
// sources, mixers that pull several producers themselves.
class Source : public Producer {
public:
    using Producer::Producer;
};

} // namespace wave
