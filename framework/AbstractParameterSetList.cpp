#include "framework/AbstractParameterSetList.h"

#include "framework/Activatable.h"
#include "framework/GenericPlugin.h"
#include "framework/PluginParameterSet.h"

AbstractParameterSetList::NumActiveParameter::NumActiveParameter(AbstractParameterSetList& owningList,
                                                                 GenericPlugin& plugin,
                                                                 const std::string& title)
    : PropPluginParameter<int>(&plugin, title), list(owningList)
{
}

void AbstractParameterSetList::NumActiveParameter::updateProperties(float plain)
{
    PropPluginParameter<int>::updateProperties(plain);
    list.updateLiveElements(static_cast<int>(plain));
}

AbstractParameterSetList::AbstractParameterSetList(GenericPlugin& owner, const std::string& name,
                                                   int capacity)
    : listName(name), numActive(*this, owner, "Num Active " + name), owningPlugin(owner)
{
    setActiveRange(1, capacity, 1);
}

AbstractParameterSetList::~AbstractParameterSetList() = default;

void AbstractParameterSetList::setActiveRange(int minimum, int maximum, int defaultCount)
{
    numActive.setRange(minimum, maximum);
    numActive.setDefault(static_cast<float>(defaultCount));
    numActive.setValue(numActive.getDefault(), 0);
}

void AbstractParameterSetList::copySet(int to, int from)
{
    if (to == from || to < 0 || from < 0 || to >= count() || from >= count())
        return;
    PluginParameterSet& target = *get(to);
    PluginParameterSet& source = *get(from);
    const int n = std::min(target.size(), source.size());
    for (int j = 0; j < n; ++j)
        target.get(j).setValue(source.get(j).getValue(), 0);
}

void AbstractParameterSetList::resetSet(int i)
{
    if (i < 0 || i >= count())
        return;
    PluginParameterSet& set = *get(i);
    for (int j = 0; j < set.size(); ++j)
        set.get(j).setValue(set.get(j).getDefault(), 0);
}

void AbstractParameterSetList::insertSet(int i)
{
    const int active = getNumActive();
    if (i < 1 || i > active || active >= getMaxActive() || active >= count())
        return;
    GenericPlugin::Batch batch(owningPlugin);
    numActive.setValue(static_cast<float>(active + 1), 0);
    for (int k = active; k >= i; --k)
        copySet(k, k - 1);
}

bool AbstractParameterSetList::canRemove(int i) const
{
    const int active = getNumActive();
    return i >= 0 && i < active && active > getMinActive();
}

void AbstractParameterSetList::moveDownFrom(int i)
{
    const int active = getNumActive() - 1;
    numActive.setValue(static_cast<float>(active), 0);
    for (int k = i; k < active; ++k)
        copySet(k, k + 1);
    resetSet(active);
}

void AbstractParameterSetList::removeSet(int i)
{
    if (!canRemove(i))
        return;
    GenericPlugin::Batch batch(owningPlugin);
    moveDownFrom(i);
}

void AbstractParameterSetList::registerActivatables(std::vector<Activatable*> group)
{
    activatables.push_back(std::move(group));
}

void AbstractParameterSetList::configureSets()
{
    for (int i = 0; i < count(); ++i)
        get(i)->configureParameters();
}

void AbstractParameterSetList::updateLiveElements(int active)
{
    for (auto& group : activatables)
        for (std::size_t i = 0; i < group.size(); ++i)
            if (group[i])
                group[i]->setLive(static_cast<int>(i) < active);
}
