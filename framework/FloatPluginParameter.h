#pragma once

#include "framework/AbstractPluginParameter.h"

#include <atomic>

// A continuous parameter: a plain float in [min, max]. Freshly built it has
// the range 0..1, default 0 and value 0. The value is an atomic: any thread
// may set it while others (the audio thread among them) read it.
class FloatPluginParameter : public AbstractPluginParameter {
public:
    FloatPluginParameter(GenericParameterOwner* owner, std::string name, int kind = 0);

    float normalize(float plain) const override;
    float denormalize(float normalized) const override;
    std::string valueToText(float plain) const override;
    float getDefault() const override { return defaultValue; }
    float getMax() const override { return maximum; }
    float getMin() const override { return minimum; }
    float getValue() const override { return value.load(std::memory_order_acquire); }
    void setValue(float plain, int flag) override;

    // Set-up, right after construction. The range may be given in either
    // order; the stored value is not touched (set the default afterwards).
    void setRange(float min, float max);
    void setDefault(float value);

private:
    float defaultValue = 0.0f;
    float maximum = 1.0f;
    float minimum = 0.0f;
    std::atomic<float> value{0.0f};
};
