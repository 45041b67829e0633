#include "wave/Consumer.h"

namespace wave {

Consumer::Consumer(Producer* source, int linkFlags) : sourceLinkFlags(linkFlags)
{
    setSource(source);
}

Consumer::~Consumer()
{
    setSource(nullptr);
}

void Consumer::setSource(Producer* newSource)
{
    if (newSource == sourceProducer)
        return;
    // A node at rest may have built its rest on what this link read.
    if (sourceProducer) {
        --sourceProducer->linkedConsumers;
        sourceProducer->getGraph().endRests();
    }
    sourceProducer = newSource;
    if (sourceProducer) {
        ++sourceProducer->linkedConsumers;
        sourceProducer->getGraph().endRests();
    }
}

} // namespace wave
