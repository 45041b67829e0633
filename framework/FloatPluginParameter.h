#pragma once

#include "framework/AbstractPluginParameter.h"

// A continuous parameter: a plain float in [min, max]. Freshly built it has
// the range 0..1, default 0 and value 0.
class FloatPluginParameter : public AbstractPluginParameter {
public:
    FloatPluginParameter(GenericParameterOwner* owner, std::string name, int kind = 0);

    float normalize(float plain) const override;
    float denormalize(float normalized) const override;
    std::string valueToText(float plain) const override;
    float getDefault() const override { return defaultValue; }
    float getMax() const override { return maximum; }
    float getMin() const override { return minimum; }
    float getValue() const override { return value; }
    void setValue(float plain, int flag) override;

    // Set-up, right after construction. The range may be given in either
    // order; the stored value is not touched (set the default afterwards).
    void setRange(float min, float max);
    void setDefault(float value);

private:
    float defaultValue = 0.0f;
    float maximum = 1.0f;
    float minimum = 0.0f;
    float value = 0.0f;
};
