#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text helpers shared by the parameter classes.

// Splits "Off,On" into {"Off", "On"}: every comma separates, empty items
// stay, nothing is trimmed. An empty text gives an empty list.
std::vector<std::string> splitOptionList(const std::string& text);

// printf-style formatting of one number; format is one of the product's own
// literals ("%.3f", "%.15lg"), each consuming exactly one double.
std::string formatNumber(const char* format, double value);

// The text without the blanks (spaces, tabs, line breaks) at either end.
std::string_view trimBlanks(std::string_view text);
