#include "framework/PluginParameterSet.h"

#include "framework/GenericPlugin.h"

PluginParameterSet::PluginParameterSet(GenericPlugin& owner) : owningPlugin(owner) {}

PluginParameterSet::~PluginParameterSet() = default;

void PluginParameterSet::parameterChanged(int index, float value, int flag)
{
    owningPlugin.parameterChanged(index, value, flag);
}

int PluginParameterSet::addParameter(AbstractPluginParameter* parameter)
{
    parameters.push_back(parameter);
    return owningPlugin.addParameter(parameter);
}

void PluginParameterSet::configureParameters() {}
