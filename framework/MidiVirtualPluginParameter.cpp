#include "framework/MidiVirtualPluginParameter.h"

#include "framework/GenericPlugin.h"

MidiVirtualPluginParameter::MidiVirtualPluginParameter(GenericPlugin& plugin, std::string parameterName)
    : virtualName(std::move(parameterName)), virtualIndex(plugin.addVirtualParameter(this))
{
}

MidiVirtualPluginParameter::~MidiVirtualPluginParameter() = default;
