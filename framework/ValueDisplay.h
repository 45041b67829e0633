#pragma once

#include <string>

class AbstractPluginParameter;

// How a continuous parameter's plain value turns into the number the DSP
// receives and into the text the user reads:
//
//   property value = inner(plain) * scale + offset
//   display value  = outer(property value)
//   text           = the display value printed with three decimals, plus
//                    " unit" when there is one
//
// A gain stored in dB with inner = dB-to-gain and outer = gain-to-dB hands
// the DSP a linear gain and shows "-6.021 dB". The inner and outer functions
// run on the audio thread, so they are plain function pointers.
class ValueDisplay {
public:
    using Function = float (*)(float);

    explicit ValueDisplay(const AbstractPluginParameter* owner = nullptr) : parameter(owner) {}

    float propertyValue(float plain) const { return inner(plain) * scale + offset; }
    float displayValue(float plain) const { return outer(propertyValue(plain)); }
    std::string toText(float plain) const;

    void setOuter(Function f, Function companion = identity);
    void setInner(Function f, Function companion = identity);
    void setUnit(std::string u) { unit = std::move(u); }
    void setOffset(float o) { offset = o; }
    void setScale(float s) { scale = s; }
    // Makes the parameter's range show as a..b:
    // scale = (b - a) / (max - min), offset = a - min * scale.
    void setDisplayRange(float a, float b);
    void setParameter(const AbstractPluginParameter* p) { parameter = p; }

    const std::string& getUnit() const { return unit; }

    static float identity(float x) { return x; }

private:
    Function outer = identity;
    Function outerCompanion = identity;
    Function inner = identity;
    Function innerCompanion = identity;
    std::string unit;
    float offset = 0.0f;
    const AbstractPluginParameter* parameter;
    float scale = 1.0f;
};
