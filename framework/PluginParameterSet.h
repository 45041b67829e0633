#pragma once

#include "framework/GenericParameterOwner.h"

#include <vector>

class AbstractPluginParameter;
class GenericPlugin;

// Parameters that belong together (one filter, one LFO, one modulation
// slot). A concrete set creates its parameters in a fixed order with itself
// as owner; each is registered with the plug-in through the set, so it also
// gets its place in the plug-in's flat list. Changes pass through unchanged.
class PluginParameterSet : public GenericParameterOwner {
public:
    explicit PluginParameterSet(GenericPlugin& plugin);

    void parameterChanged(int index, float value, int flag) override;
    // Appends to the set's own list, then registers with the plug-in.
    int addParameter(AbstractPluginParameter* parameter) override;
    virtual ~PluginParameterSet();
    PluginParameterSet(const PluginParameterSet&) = delete;
    PluginParameterSet& operator=(const PluginParameterSet&) = delete;

    // Ranges, defaults, options, display rules and help texts of the set's
    // parameters, run by the list once all sets exist. Nothing here.
    virtual void configureParameters();

    int size() const { return static_cast<int>(parameters.size()); }
    AbstractPluginParameter& get(int j) const { return *parameters[static_cast<std::size_t>(j)]; }
    const std::vector<AbstractPluginParameter*>& getParameters() const { return parameters; }
    GenericPlugin& getPlugin() const { return owningPlugin; }

private:
    std::vector<AbstractPluginParameter*> parameters;
    GenericPlugin& owningPlugin;
};
