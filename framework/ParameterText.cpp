#include "framework/ParameterText.h"

#include <cctype>
#include <cstdio>

std::vector<std::string> splitOptionList(const std::string& text)
{
    std::vector<std::string> names;
    if (text.empty())
        return names;
    std::string::size_type start = 0;
    for (;;) {
        auto comma = text.find(',', start);
        if (comma == std::string::npos) {
            names.push_back(text.substr(start));
            return names;
        }
        names.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

namespace {

// A run-time format is only handed to snprintf when it holds exactly one
// conversion and that conversion takes a double, so a bad format string
// cannot read arguments that are not there.
bool takesOneDouble(const std::string& format)
{
    int conversions = 0;
    for (std::string::size_type i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (i + 1 < format.size() && format[i + 1] == '%') {
            ++i;
            continue;
        }
        auto j = format.find_first_not_of("-+ #0123456789.l", i + 1);
        if (j == std::string::npos)
            return false;
        if (std::string("eEfFgGaA").find(format[j]) == std::string::npos)
            return false;
        ++conversions;
        i = j;
    }
    return conversions == 1;
}

} // namespace

std::string formatNumber(const std::string& format, double value)
{
    char buffer[128];
    if (takesOneDouble(format)) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        std::snprintf(buffer, sizeof buffer, format.c_str(), value);
#pragma GCC diagnostic pop
    } else {
        std::snprintf(buffer, sizeof buffer, "%g", value);
    }
    return buffer;
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}
