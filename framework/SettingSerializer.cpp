#include "framework/SettingSerializer.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace settingtext {

namespace {

// The C conversions skip leading white space and accept a plus sign;
// from_chars does neither, so both are taken off first.
const char* skipBlanksAndPlus(const char* first, const char* last)
{
    while (first != last && (*first == ' ' || (*first >= '\t' && *first <= '\r')))
        ++first;
    if (first != last && *first == '+' && first + 1 != last && first[1] != '-' && first[1] != '+')
        ++first;
    return first;
}

} // namespace

std::string formatInt(std::int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return text;
}

bool parseInt(const std::string& text, std::int32_t& result)
{
    const char* last = text.data() + text.size();
    const char* first = skipBlanksAndPlus(text.data(), last);
    std::int32_t value = 0;
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc{} || end == first)
        return false;
    result = value;
    return true;
}

std::string formatDouble(double value)
{
    if (value >= std::numeric_limits<double>::infinity())
        return "INF";
    if (value <= -std::numeric_limits<double>::infinity())
        return "-INF";
    // to_chars with a precision behaves as printf's %.*g in the C locale, so a
    // host that switched LC_NUMERIC to a decimal comma cannot change the text.
    char text[64];
    auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    if (error != std::errc{})
        return "0";
    return std::string(text, end);
}

bool parseDouble(const std::string& text, double& result)
{
    const char* last = text.data() + text.size();
    const char* first = skipBlanksAndPlus(text.data(), last);
    if (first == last)
        return false;
    double value = 0.0;
    auto [end, error] = std::from_chars(first, last, value);
    if (error == std::errc::result_out_of_range && end == last) {
        // The C conversion gives an infinity or zero here; the long double
        // range tells which without depending on the locale.
        long double wide = 0.0L;
        auto [wideEnd, wideError] = std::from_chars(first, last, wide);
        if (wideError != std::errc{} || wideEnd != last)
            return false;
        value = static_cast<double>(wide);
    } else if (error != std::errc{}) {
        return false;
    }
    if (end != last)
        return false;
    result = value;
    return true;
}

} // namespace settingtext

bool SettingSerializer::serializeBool(const std::string& name, bool value, bool defaultValue)
{
    return serializeInt(name, value ? 1 : 0, defaultValue ? 1 : 0) != 0;
}

double SettingSerializer::serializeDouble(const std::string& name, double value, double defaultValue)
{
    std::string stored =
        serializeString(name, settingtext::formatDouble(value), settingtext::formatDouble(defaultValue));
    double result = defaultValue;
    if (!settingtext::parseDouble(stored, result))
        return defaultValue;
    return result;
}

std::int32_t SettingSerializer::serializeInt(const std::string& name, std::int32_t value, std::int32_t defaultValue)
{
    std::string stored = serializeString(name, settingtext::formatInt(value), settingtext::formatInt(defaultValue));
    std::int32_t result = defaultValue;
    if (!settingtext::parseInt(stored, result))
        return defaultValue;
    return result;
}
