#pragma once

#include "framework/TargetParameterSetList.h"

// A list whose set i drives modulation source firstSource + i (its
// parameters may be targets too: perSet of them from firstTarget). Removing
// a set drops the slots that use its source, removes it like a target list
// does, and renumbers the slots that use the later sources of the list.
template <typename T> class SourceParameterSetList : public TargetParameterSetList<T> {
public:
    using typename ParameterSetList<T>::Factory;

    SourceParameterSetList(GenericPlugin& owner, const std::string& title, int capacity, int first,
                           int targetsFrom = 0, int perSet = 0, Factory factory = {})
        : TargetParameterSetList<T>(owner, title, capacity, targetsFrom, perSet, factory), firstSource(first)
    {
    }

    void removeSet(int i) override
    {
        if (!this->canRemove(i))
            return;
        GenericPlugin& owner = this->getPlugin();
        GenericPlugin::Batch batch(owner);
        ModulationReferences* refs = owner.getModulationReferences();
        if (refs)
            refs->dropSlotsOfSource(firstSource + i);
        this->removeTargetsOf(i);
        if (refs)
            refs->renumberSources(firstSource + i, firstSource + this->count(), -1);
    }

    int getFirstSource() const { return firstSource; }

private:
    int firstSource;
};
