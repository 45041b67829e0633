#pragma once

#include "framework/PropPluginParameter.h"

#include <string>
#include <vector>

class Activatable;
class GenericPlugin;
class PluginParameterSet;

// A fixed number of parameter sets of one kind, of which the first
// numActive are in use. numActive is a parameter of its own ("Num Active "
// + the list's name), so the host, presets and undo see it like any value.
// Sets can be inserted and removed in the middle: the values of the sets
// after it move one place, inside one update batch. Sets are never created
// or destroyed after construction.
class AbstractParameterSetList {
public:
    // Registered with the plug-in first, before the list's sets. Whenever
    // its value reaches the DSP it also makes the registered graph nodes
    // live or not.
    class NumActiveParameter : public PropPluginParameter<int> {
    public:
        NumActiveParameter(AbstractParameterSetList& list, GenericPlugin& plugin, const std::string& name);
        void updateProperties(float plain) override;

    private:
        AbstractParameterSetList& list;
    };

    // The "Num Active" range starts as 1..capacity with 1 active.
    AbstractParameterSetList(GenericPlugin& plugin, const std::string& name, int capacity);

    // Number of sets (the capacity, not the active number).
    virtual int count() const = 0;
    virtual PluginParameterSet* get(int i) const = 0;
    // Removes set i: the later sets move down one place and the last one
    // returns to its defaults. Only for i below numActive while numActive is
    // above its minimum; otherwise nothing happens.
    virtual void removeSet(int i);
    virtual ~AbstractParameterSetList();
    AbstractParameterSetList(const AbstractParameterSetList&) = delete;
    AbstractParameterSetList& operator=(const AbstractParameterSetList&) = delete;

    // Inserts a set at i (1 <= i <= numActive, numActive below its maximum):
    // the sets from i on move up one place and the new set starts as a copy
    // of set i - 1.
    void insertSet(int i);
    // Copies every parameter value of set `from` into set `to`.
    void copySet(int to, int from);
    // Brings every parameter of set i to its default.
    void resetSet(int i);

    // While building: element i of the group is live while i < numActive.
    // The group holds one element per set; the list does not own them.
    void registerActivatables(std::vector<Activatable*> group);
    // Runs configureParameters on every set.
    void configureSets();

    // Set-up of the active range, default and value (before processing).
    void setActiveRange(int minimum, int maximum, int defaultCount);

    int getNumActive() const { return static_cast<int>(numActive.getValue()); }
    int getMinActive() const { return static_cast<int>(numActive.getMin()); }
    int getMaxActive() const { return static_cast<int>(numActive.getMax()); }
    NumActiveParameter& getNumActiveParameter() { return numActive; }
    const std::string& getName() const { return listName; }
    GenericPlugin& getPlugin() const { return owningPlugin; }

protected:
    // The value moves of removeSet, without the checks or a batch.
    void moveDownFrom(int i);
    bool canRemove(int i) const;

private:
    friend class NumActiveParameter;
    // Audio thread.
    void updateLiveElements(int active);

    std::string listName;
    NumActiveParameter numActive;
    GenericPlugin& owningPlugin;
    std::vector<std::vector<Activatable*>> activatables;
};
