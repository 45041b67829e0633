#pragma once

#include "framework/GenericPlugin.h"
#include "framework/ModulationReferences.h"
#include "framework/ParameterSetList.h"

// A list whose sets' parameters are modulation targets: set i owns targets
// firstTarget + perSet * i .. + perSet - 1. Removing a set drops the
// modulation aimed at its targets and moves modulation aimed at the later
// sets down with their values, so it keeps following the same settings.
template <typename T>
class TargetParameterSetList : public ParameterSetList<T> {
public:
    using typename ParameterSetList<T>::Factory;

    TargetParameterSetList(GenericPlugin& owner, const std::string& name, int capacity, int first, int perSet,
                           Factory factory = {})
        : ParameterSetList<T>(owner, name, capacity, factory), firstTarget(first), targetsPerSet(perSet), plugin(owner)
    {
    }

    void removeSet(int i) override
    {
        if (!this->canRemove(i))
            return;
        GenericPlugin::Batch batch(plugin);
        removeTargetsOf(i);
    }

    int getFirstTarget() const { return firstTarget; }
    int getTargetsPerSet() const { return targetsPerSet; }

protected:
    // The removal within an open batch: drop, move the values, retarget.
    void removeTargetsOf(int i)
    {
        ModulationReferences* refs = plugin.getModulationReferences();
        if (refs && targetsPerSet > 0)
            refs->dropSlotsOnTargets(firstTarget + targetsPerSet * i, targetsPerSet);
        this->moveDownFrom(i);
        if (refs && targetsPerSet > 0)
            refs->retargetSlots(firstTarget + targetsPerSet * (i + 1), firstTarget + targetsPerSet * this->count(),
                                -targetsPerSet);
    }

    GenericPlugin& getOwningPlugin() const { return plugin; }

private:
    int firstTarget;
    int targetsPerSet;
    GenericPlugin& plugin;
};
