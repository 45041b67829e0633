#pragma once

#include "framework/GenericPropPluginParameter.h"
#include "framework/ValueDisplay.h"

// A continuous parameter bound to LimitedProperty<float> objects through a
// value display: the properties receive inner(value) * scale + offset, and
// the text is the display's (for example "-6.021 dB").
class LimFloatPropPluginParameter
    : public GenericPropPluginParameter<LimitedProperty<float>, FloatPluginParameter> {
public:
    LimFloatPropPluginParameter(GenericParameterOwner* owner, std::string name, int kind = 0)
        : GenericPropPluginParameter(owner, std::move(name), kind), display(this)
    {
    }

    std::string valueToText(float plain) const override { return display.toText(plain); }

    ValueDisplay& getDisplay() { return display; }
    const ValueDisplay& getDisplay() const { return display; }
    const ValueDisplay* getValueDisplay() const override { return &display; }
    // Shows the parameter's range as a..b (set the range first).
    void setDisplayRange(float a, float b) { display.setDisplayRange(a, b); }

protected:
    float propertyValueFor(float plain) const override { return display.propertyValue(plain); }

private:
    ValueDisplay display;
};
