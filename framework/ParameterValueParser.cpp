#include "framework/ParameterValueParser.h"

#include "framework/AbstractPluginParameter.h"
#include "framework/ParameterText.h"
#include "framework/ValueDisplay.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The longest leading number of text; `rest` receives what follows it.
bool leadingNumber(std::string_view text, double& value, std::string_view& rest)
{
    const std::string copy(text);
    const char* begin = copy.c_str();
    char* end = nullptr;
    value = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(value))
        return false;
    // strtod also reads "inf", "nan" and hexadecimal numbers; only plain
    // decimal numbers are values here.
    for (const char* p = begin; p != end; ++p)
        if (std::isalpha(static_cast<unsigned char>(*p)) && *p != 'e' && *p != 'E')
            return false;
    rest = text.substr(static_cast<std::size_t>(end - begin));
    return true;
}

std::string number(double v)
{
    return formatNumber("%g", v);
}

std::string rangeText(const AbstractPluginParameter& p)
{
    return number(static_cast<double>(p.getMin())) + " .. " + number(static_cast<double>(p.getMax()));
}

// Other ways of writing a display's unit, and what one of them is in the
// display's unit: people say "1 kHz" rather than "1000 Hz", "0.3 s" for
// 300 ms and "50 ms" for a time shown in seconds.
struct UnitAlias {
    std::string_view unit;
    std::string_view alias;
    double factor;
};

constexpr UnitAlias unitAliases[] = {{"Hz", "kHz", 1000.0}, {"ms", "s", 1000.0}, {"s", "ms", 0.001}};

// The factor that turns a number written in `written` into the display's
// unit; 0 when `written` is not that unit.
double unitFactor(std::string_view written, std::string_view unit)
{
    if (equalIgnoringCase(written, unit))
        return 1.0;
    for (const UnitAlias& a : unitAliases)
        if (a.unit == unit && equalIgnoringCase(written, a.alias))
            return a.factor;
    return 0.0;
}

std::string unitNames(std::string_view unit)
{
    std::string names = "'" + std::string(unit) + "'";
    for (const UnitAlias& a : unitAliases)
        if (a.unit == unit)
            names += " or '" + std::string(a.alias) + "'";
    return names;
}

ParsedParameterValue failure(std::string why)
{
    ParsedParameterValue r;
    r.error = std::move(why);
    return r;
}

ParsedParameterValue success(float plain)
{
    ParsedParameterValue r;
    r.ok = true;
    r.plain = plain;
    return r;
}

std::string optionList(const AbstractPluginParameter& p)
{
    std::string list;
    const int first = static_cast<int>(p.getMin());
    const int last = static_cast<int>(p.getMax());
    for (int position = first; position <= last; ++position) {
        if (position > first)
            list += ", ";
        list += p.valueToText(static_cast<float>(position));
    }
    return list;
}

} // namespace

ParsedParameterValue invertDisplay(const AbstractPluginParameter& parameter, double shown)
{
    const ValueDisplay* display = parameter.getValueDisplay();
    if (!display)
        return failure("the parameter has no display to convert from");
    double lo = parameter.getMin();
    double hi = parameter.getMax();
    auto at = [&](double plain) {
        return static_cast<double>(display->displayValue(static_cast<float>(plain)));
    };
    const double atLo = at(lo);
    const double atHi = at(hi);
    const bool rising = atHi >= atLo;
    // A little slack for the rounding of the texts people copy.
    const double slack = 1e-6 * std::max({1.0, std::fabs(atLo), std::fabs(atHi)});
    if (shown < std::min(atLo, atHi) - slack || shown > std::max(atLo, atHi) + slack)
        return failure("outside " + number(std::min(atLo, atHi)) + " .. " + number(std::max(atLo, atHi)));
    for (int i = 0; i < 200 && hi - lo > 0.0; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi)
            break;
        if ((at(mid) < shown) == rising)
            lo = mid;
        else
            hi = mid;
    }
    // Of the two ends of the last interval, the one that shows closer.
    const double best = std::fabs(at(lo) - shown) <= std::fabs(at(hi) - shown) ? lo : hi;
    return success(static_cast<float>(best));
}

ParsedParameterValue parseParameterValue(const AbstractPluginParameter& parameter, std::string_view text)
{
    text = trimBlanks(text);
    if (text.empty())
        return failure("no value given");
    const bool enumerated = parameter.isEnumerated();
    if (enumerated) {
        const int first = static_cast<int>(parameter.getMin());
        const int last = static_cast<int>(parameter.getMax());
        for (int position = first; position <= last; ++position)
            if (equalIgnoringCase(parameter.valueToText(static_cast<float>(position)), text))
                return success(static_cast<float>(position));
    }

    double value = 0.0;
    std::string_view rest;
    if (!leadingNumber(text, value, rest)) {
        if (enumerated)
            return failure("'" + std::string(text) + "' is not one of: " + optionList(parameter));
        return failure("'" + std::string(text) + "' is not a number");
    }
    rest = trimBlanks(rest);

    if (rest.empty()) {
        const double lo = parameter.getMin();
        const double hi = parameter.getMax();
        if (enumerated && value != std::floor(value))
            return failure("'" + std::string(text) + "' is not one of: " + optionList(parameter));
        if (value < lo || value > hi) {
            std::string why = "'" + std::string(text) + "' is outside " + rangeText(parameter);
            const ValueDisplay* display = parameter.getValueDisplay();
            if (enumerated)
                why += " (options: " + optionList(parameter) + ")";
            else if (display && !display->getUnit().empty())
                why += "; give the unit for a value as shown, e.g. '" + parameter.getText() + "'";
            return failure(why);
        }
        return success(static_cast<float>(value));
    }

    const ValueDisplay* display = enumerated ? nullptr : parameter.getValueDisplay();
    if (!display || display->getUnit().empty())
        return failure("'" + std::string(text) + "': this parameter has no unit; give a number in " +
                       rangeText(parameter));
    const double factor = unitFactor(rest, display->getUnit());
    if (factor == 0.0)
        return failure("'" + std::string(text) + "': the unit of this parameter is " +
                       unitNames(display->getUnit()));
    ParsedParameterValue r = invertDisplay(parameter, value * factor);
    if (!r.ok)
        r.error = "'" + std::string(text) + "' is " + r.error + " " + display->getUnit();
    return r;
}
