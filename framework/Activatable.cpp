#include "framework/Activatable.h"

#include "wave/Graph.h"
#include "wave/Producer.h"

Activatable::Activatable(wave::Producer& producer, bool runs, bool resets)
    : container(&producer.getGraph()), element(&producer), inRunList(runs), inResetList(resets)
{
    // Lists the element does not manage keep the node as its constructor
    // left it (a filter that put itself in the reset list stays there).
    if (inRunList)
        container->remove(producer);
    if (inResetList)
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
            container->insert(*element);
        if (inResetList)
            container->addToResetList(*element);
    } else {
        if (inRunList)
            container->remove(*element);
        if (inResetList)
            container->removeFromResetList(*element);
    }
}
