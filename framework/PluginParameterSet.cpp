#include "framework/PluginParameterSet.h"

#include "framework/GenericPlugin.h"

PluginParameterSet::PluginParameterSet(GenericPlugin& owner) : plugin(owner) {}

PluginParameterSet::~PluginParameterSet() = default;

void PluginParameterSet::parameterChanged(int index, float value, int flag)
{
    plugin.parameterChanged(index, value, flag);
}

int PluginParameterSet::addParameter(AbstractPluginParameter* parameter)
{
    parameters.push_back(parameter);
    return plugin.addParameter(parameter);
}

void PluginParameterSet::configureParameters() {}
