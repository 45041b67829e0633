#include "host/lv2/Lv2PortLayout.h"

namespace {

std::string channelSuffix(int channel, int count, bool forName)
{
    if (count <= 1)
        return {};
    std::string side = count == 2 ? (channel == 0 ? "l" : "r") : std::to_string(channel + 1);
    if (forName && count == 2)
        side[0] = static_cast<char>(side[0] - 'a' + 'A');
    return (forName ? " " : "_") + side;
}

} // namespace

std::string lv2AudioPortSymbol(std::string_view stem, int channel, int count)
{
    return std::string(stem) + channelSuffix(channel, count, false);
}

std::string lv2AudioPortName(std::string_view stem, int channel, int count)
{
    std::string name;
    if (stem == "in")
        name = "Input";
    else if (stem == "out")
        name = "Output";
    else if (stem == "sc")
        name = "Side Chain";
    else
        name = std::string(stem);
    return name + channelSuffix(channel, count, true);
}

std::string lv2PortSymbol(std::string_view parameterName)
{
    std::string symbol;
    bool gap = false;
    for (char c : parameterName) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            if (gap && !symbol.empty())
                symbol += '_';
            symbol += c;
            gap = false;
        } else {
            gap = true;
        }
    }
    if (!symbol.empty() && symbol[0] >= '0' && symbol[0] <= '9')
        symbol.insert(symbol.begin(), '_');
    return symbol;
}
