#pragma once

#include <functional>
#include <string>

class AbstractPluginParameter;

// How a continuous parameter's plain value turns into the number the DSP
// receives and into the text the user reads:
//
//   property value = inner(plain) * scale + offset
//   display value  = outer(property value)
//   text           = textFunction(display value), or the display value
//                    printed with format, plus " unit" when there is one
//
// A gain stored in dB with inner = dB-to-gain and outer = gain-to-dB hands
// the DSP a linear gain and shows "-6.021 dB". The inner and outer functions
// run on the audio thread, so they are plain function pointers.
class ValueDisplay {
public:
    using Function = float (*)(float);
    using TextFunction = std::function<std::string(float)>;

    explicit ValueDisplay(const AbstractPluginParameter* owner = nullptr) : parameter(owner) {}

    float propertyValue(float plain) const { return inner(plain) * scale + offset; }
    float displayValue(float plain) const { return outer(propertyValue(plain)); }
    std::string toText(float plain) const;

    void setOuter(Function f, Function companion = identity);
    void setInner(Function f, Function companion = identity);
    void setTextFunction(TextFunction f) { textFunction = std::move(f); }
    void setFormat(std::string f) { format = std::move(f); }
    void setUnit(std::string u) { unit = std::move(u); }
    void setOffset(float o) { offset = o; }
    void setScale(float s) { scale = s; }
    // Makes the parameter's range show as a..b:
    // scale = (b - a) / (max - min), offset = a - min * scale.
    void setDisplayRange(float a, float b);
    void setParameter(const AbstractPluginParameter* p) { parameter = p; }

    float getOffset() const { return offset; }
    float getScale() const { return scale; }
    const std::string& getFormat() const { return format; }
    const std::string& getUnit() const { return unit; }

    static float identity(float x) { return x; }

private:
    Function outer = identity;
    Function outerCompanion = identity;
    TextFunction textFunction;
    Function inner = identity;
    Function innerCompanion = identity;
    std::string format = "%.3f";
    std::string unit;
    float offset = 0.0f;
    const AbstractPluginParameter* parameter;
    float scale = 1.0f;
};
