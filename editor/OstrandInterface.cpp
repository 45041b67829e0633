#include "editor/OstrandInterface.h"

#include "editor/FilterController.h"
#include "editor/FilterPanel.h"
#include "editor/HelpHintWindow.h"
#include "editor/InputOutputPanels.h"
#include "editor/RoutingPanel.h"
#include "editor/modulation/ModulationInterface.h"
#include "effect/OstrandPlugin.h"
#include "framework/AbstractPluginParameter.h"

#include <algorithm>
#include <cmath>

OstrandInterface::OstrandInterface(gui::UserInterface& ui, OstrandPlugin& plugin)
    : ModulationMatrixPluginInterface(ui, plugin), ostrand(plugin)
{
    gui::Control& s = surface();
    filterDisplay = &s.add<FilterController>(displayFrame, *this, plugin.filters);
    filters = &s.add<FilterPanel>(*this, plugin.filters);
    routing = &s.add<RoutingPanel>(*this);
    io = new InputOutputPanels(s, *this);
    // Last: its rings and drag stage reach the knobs of every panel.
    modulationView = &modulationArea().add<ModulationInterface>(*this);
    // The hints stay above the panels made after them.
    hintWindow().bringToFront();
}

OstrandInterface::~OstrandInterface() { delete io; }

void OstrandInterface::setActiveFilter(int filter)
{
    filter = std::clamp(filter, 0, std::max(0, ostrand.filters.getNumActive() - 1));
    active = filter;
    filterDisplay->setActiveFilter(filter);
    filters->showFilter(filter);
}

void OstrandInterface::filterButtonClicked(int filter)
{
    if (filter != active) {
        setActiveFilter(filter);
        return;
    }
    const int enabled = ostrand.filters[filter].enabled.getIndex();
    const bool on = ostrand.filters[filter].enabled.getValue() >= 0.5f;
    beginEdit(enabled);
    setParameter(enabled, on ? 0.0f : 1.0f);
    endEdit(enabled);
    gestureEnded();
}

void OstrandInterface::addFilter()
{
    FilterParameterSetList& list = ostrand.filters;
    const int count = list.getNumActive();
    if (count >= list.getMaxActive())
        return;
    const FilterParameterSet& from = list[active];
    FilterParameterSet& added = list[count];
    const float response = from.response.getValue();
    const float place = filterDisplay->placeForNewFilter(static_cast<int>(std::lround(response)));
    {
        GenericPlugin::Batch batch(ostrand);
        setParameter(list.getNumActiveParameter().getIndex(), static_cast<float>(count + 1));
        setParameter(added.characteristic.getIndex(), from.characteristic.getValue());
        setParameter(added.slope.getIndex(), from.slope.getValue());
        setParameter(added.response.getIndex(), response);
        setParameterNormalized(added.freq.getIndex(), place);
        setParameterNormalized(added.peak.getIndex(), 0.0f);
    }
    refresh();
    setActiveFilter(count);
    takeUndoSnapshot();
}

void OstrandInterface::removeFilter()
{
    FilterParameterSetList& list = ostrand.filters;
    if (list.getNumActive() <= list.getMinActive())
        return;
    list.removeSet(active);
    // The step first: the refresh would take the removal for a change made
    // elsewhere.
    takeUndoSnapshot();
    refresh();
    setActiveFilter(std::min(active, list.getNumActive() - 1));
}

std::vector<int> OstrandInterface::linkedParameters(int filter, int which) const
{
    std::vector<int> result;
    const FilterParameterSetList& list = ostrand.filters;
    const FilterParameterSet* own = list.get(filter);
    if (!own || own->linked.getValue() < 0.5f)
        return result;
    for (int i = 0; i < list.getNumActive(); ++i) {
        const FilterParameterSet& set = list[i];
        if (i == filter || set.linked.getValue() < 0.5f)
            continue;
        const AbstractPluginParameter& p = which == 0 ? static_cast<const AbstractPluginParameter&>(set.freq)
                                           : which == 1 ? static_cast<const AbstractPluginParameter&>(set.pan)
                                                        : static_cast<const AbstractPluginParameter&>(set.peak);
        result.push_back(p.getIndex());
    }
    return result;
}

void OstrandInterface::parametersChanged(bool all, std::span<const int> indices)
{
    modulationView->parametersChanged(all, indices);
    // The display and the filter buttons follow the filters, the routing
    // picture also the number of filters and the mode.
    const int first = ostrand.filters.getNumActiveParameter().getIndex();
    const int last = ostrand.filters[ostrand.filters.count() - 1].linked.getIndex();
    const bool filtersChanged = all || std::any_of(indices.begin(), indices.end(), [&](int i) {
                                           return (i >= first && i <= last) || i == ostrand.routing.getIndex() ||
                                                  i == ostrand.routingMode.getIndex();
                                       });
    if (!filtersChanged)
        return;
    if (active >= ostrand.filters.getNumActive())
        setActiveFilter(ostrand.filters.getNumActive() - 1);
    filterDisplay->refresh();
    filters->updateButtons();
    routing->picture->invalidate();
}
