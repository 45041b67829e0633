#include "framework/ValueDisplay.h"

#include "framework/AbstractPluginParameter.h"
#include "framework/ParameterText.h"

std::string ValueDisplay::toText(float plain) const
{
    float d = displayValue(plain);
    std::string text = formatNumber("%.3f", static_cast<double>(d));
    if (!unit.empty())
        text += " " + unit;
    return text;
}

void ValueDisplay::setOuter(Function f, Function companion)
{
    outer = f ? f : identity;
    outerCompanion = companion ? companion : identity;
}

void ValueDisplay::setInner(Function f, Function companion)
{
    inner = f ? f : identity;
    innerCompanion = companion ? companion : identity;
}

void ValueDisplay::setDisplayRange(float a, float b)
{
    if (!parameter)
        return;
    float min = parameter->getMin();
    float max = parameter->getMax();
    // A parameter without a range keeps its scale; only the offset moves.
    if (max > min)
        scale = (b - a) / (max - min);
    offset = a - min * scale;
}
