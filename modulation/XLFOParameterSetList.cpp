#include "modulation/XLFOParameterSetList.h"

XLFOParameterSetList::XLFOParameterSetList(GenericPlugin& plugin)
    : SourceParameterSetList<XLFOParameterSet>(plugin, listName, capacity, firstSource, firstTarget,
                                               targetsPerSet)
{
    setActiveRange(0, capacity, 0);
    configureSets();
}

void XLFOParameterSetList::removeSet(int i)
{
    if (!canRemove(i))
        return;
    GenericPlugin::Batch batch(getPlugin());
    const int active = getNumActive();
    // The list moves the sets' own parameters (and the modulation); the
    // steps follow the same way.
    SourceParameterSetList<XLFOParameterSet>::removeSet(i);
    for (int k = i; k < active - 1; ++k)
        (*this)[k].copyStepsFrom((*this)[k + 1]);
    (*this)[active - 1].resetSteps();
}

void XLFOParameterSetList::insertSet(int i)
{
    const int active = getNumActive();
    if (i < 1 || i > active || active >= getMaxActive() || active >= count())
        return;
    GenericPlugin::Batch batch(getPlugin());
    SourceParameterSetList<XLFOParameterSet>::insertSet(i);
    for (int k = active; k >= i; --k)
        (*this)[k].copyStepsFrom((*this)[k - 1]);
}
