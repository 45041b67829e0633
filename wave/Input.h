#pragma once

#include "wave/Source.h"

namespace wave {

// Reads a host sample buffer, one sub-block per frame. It puts itself at the
// end of the run list, so its read position stays in step with the graph in
// frames where nobody pulls it.
class Input : public Source {
public:
    explicit Input(Graph& graph);

    // Audio thread, once per host block before the frames that read it.
    // A null buffer reads as silence.
    void setBuffer(const float* buffer, int numSamples)
    {
        hostBuffer = buffer;
        hostSamplesLeft = numSamples > 0 ? numSamples : 0;
    }
    const float* getBuffer() const { return hostBuffer; }
    int getSamplesLeft() const { return hostSamplesLeft; }

    // Copies numSamples samples from the buffer and moves past them; samples
    // beyond the end of the buffer read as zeros. When the output is not
    // needed or nobody reads the input, it only moves on. Audio thread.
    int process(Block& target, int numSamples, int flags) override;

private:
    const float* hostBuffer = nullptr;
    int hostSamplesLeft = 0;
};

} // namespace wave
