#pragma once

#include "framework/GenericPlugin.h"
#include "framework/ModulationReferences.h"
#include "framework/ParameterSetList.h"

// A list whose sets' parameters are modulation targets: set i owns targets
// firstTarget + perSet * i .. + perSet - 1. Removing a set drops the
// modulation aimed at its targets and moves modulation aimed at the later
// sets down with their values, so it keeps following the same settings.
template <typename T> class TargetParameterSetList : public ParameterSetList<T> {
public:
    using typename ParameterSetList<T>::Factory;

    TargetParameterSetList(GenericPlugin& owner, const std::string& title, int capacity, int first,
                           int perSet, Factory factory = {})
        : ParameterSetList<T>(owner, title, capacity, factory), firstTargetIndex(first), perSetTargets(perSet)
    {
    }

    void removeSet(int i) override
    {
        if (!this->canRemove(i))
            return;
        GenericPlugin::Batch batch(this->getPlugin());
        removeTargetsOf(i);
    }

    int getFirstTarget() const { return firstTargetIndex; }
    int getTargetsPerSet() const { return perSetTargets; }

protected:
    // The removal within an open batch: drop, move the values, retarget.
    void removeTargetsOf(int i)
    {
        ModulationReferences* refs = this->getPlugin().getModulationReferences();
        if (refs && perSetTargets > 0)
            refs->dropSlotsOnTargets(firstTargetIndex + perSetTargets * i, perSetTargets);
        this->moveDownFrom(i);
        if (refs && perSetTargets > 0)
            refs->retargetSlots(firstTargetIndex + perSetTargets * (i + 1),
                                firstTargetIndex + perSetTargets * this->count(), -perSetTargets);
    }

private:
    int firstTargetIndex;
    int perSetTargets;
};
