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

std::string formatNumber(const char* format, double value)
{
    char buffer[128];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(buffer, sizeof buffer, format, value);
#pragma GCC diagnostic pop
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
