#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text helpers shared by the parameter classes.

// Splits "Off,On" into {"Off", "On"}: every comma separates, empty items
// stay, nothing is trimmed. An empty text gives an empty list.
std::vector<std::string> splitOptionList(const std::string& text);

// printf-style formatting of one number with a format chosen at run time
// ("%.3f", "%.15lg"). A format that does not consume exactly one floating
// point argument is not used; the number is printed with "%g" instead.
std::string formatNumber(const std::string& format, double value);

// The text without the blanks (spaces, tabs, line breaks) at either end.
std::string_view trimBlanks(std::string_view text);
