#include "framework/FloatPluginParameter.h"

#include "framework/ParameterText.h"
#include "framework/Property.h"

#include <algorithm>
#include <cmath>

FloatPluginParameter::FloatPluginParameter(GenericParameterOwner* owner, std::string name, int kind)
    : AbstractPluginParameter(owner, std::move(name), kind)
{
}

float FloatPluginParameter::normalize(float plain) const
{
    // A parameter without a range has one position only.
    if (!(maximum > minimum))
        return 0.0f;
    return (plain - minimum) / (maximum - minimum);
}

float FloatPluginParameter::denormalize(float normalized) const
{
    return minimum + (maximum - minimum) * normalized;
}

std::string FloatPluginParameter::valueToText(float plain) const
{
    return formatNumber("%.15lg", static_cast<double>(plain));
}

void FloatPluginParameter::setValue(float plain, int flag)
{
    // NaN has no place in a range; it is ignored rather than stored.
    if (std::isnan(plain))
        return;
    plain = std::clamp(plain, minimum, maximum);
    // Writers on several threads: each change that really happens is
    // reported once, by the thread that made it.
    float current = value.load(std::memory_order_relaxed);
    do {
        if (!valueDiffers(plain, current))
            return;
    } while (!value.compare_exchange_weak(current, plain, std::memory_order_acq_rel, std::memory_order_relaxed));
    notifyOwner(plain, flag);
}

void FloatPluginParameter::setRange(float min, float max)
{
    minimum = std::min(min, max);
    maximum = std::max(min, max);
}

void FloatPluginParameter::setDefault(float v)
{
    defaultValue = std::clamp(v, minimum, maximum);
}
