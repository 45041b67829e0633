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
    if (sourceProducer)
        --sourceProducer->linkedConsumers;
    sourceProducer = newSource;
    if (sourceProducer)
        ++sourceProducer->linkedConsumers;
}

} // namespace wave
