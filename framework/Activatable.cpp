#include "framework/Activatable.h"

#include "wave/Graph.h"
#include "wave/Producer.h"

Activatable::Activatable(wave::Producer& producer, int insertMode, bool runs, bool resets)
    : container(&producer.getGraph()), element(&producer), mode(insertMode), inRunList(runs),
      inResetList(resets)
{
    container->remove(producer);
    container->removeFromResetList(producer);
    producer.setActive(false);
}

void Activatable::setLive(bool live)
{
    if (live == active)
        return;
    active = live;
    element->setActive(live);
    if (live) {
        if (inRunList)
            container->insert(*element, mode);
        if (inResetList)
            container->addToResetList(*element);
    } else {
        if (inRunList)
            container->remove(*element);
        if (inResetList)
            container->removeFromResetList(*element);
    }
}
