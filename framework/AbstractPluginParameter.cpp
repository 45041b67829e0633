#include "framework/AbstractPluginParameter.h"

AbstractPluginParameter::AbstractPluginParameter(GenericParameterOwner* owner, std::string name, int kind)
    : parameterName(std::move(name)), parameterOwner(owner), parameterKind(kind)
{
    if (owner)
        parameterIndex = owner->addParameter(this);
}

AbstractPluginParameter::~AbstractPluginParameter() = default;

void AbstractPluginParameter::updateProperties(float) {}
