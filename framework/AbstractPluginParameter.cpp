#include "framework/AbstractPluginParameter.h"

AbstractPluginParameter::AbstractPluginParameter(GenericParameterOwner* owner, std::string name, int kind)
    : parameterName(std::move(name)), parameterOwner(owner), parameterKind(kind)
{
    if (owner)
        parameterIndex = owner->addParameter(this);
}

AbstractPluginParameter::~AbstractPluginParameter() = default;

float AbstractPluginParameter::normalizeFor(float plain, int) const
{
    return normalize(plain);
}

bool AbstractPluginParameter::denormalizeFor(float normalized, int, float& plain) const
{
    plain = denormalize(normalized);
    return true;
}

int AbstractPluginParameter::getLimitForKey(int) const
{
    return -1;
}

void AbstractPluginParameter::updateProperties(float) {}
