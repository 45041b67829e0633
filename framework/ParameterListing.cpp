#include "framework/ParameterListing.h"

#include "framework/AbstractPluginParameter.h"
#include "framework/GenericPlugin.h"

#include <charconv>

namespace {

// The shortest text that reads back as the same float.
std::string shortest(float value)
{
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc{} ? std::string(buffer, end) : std::string("?");
}

} // namespace

std::string parameterListLine(const AbstractPluginParameter& p)
{
    return std::to_string(p.getIndex()) + '\t' + p.getName() + '\t' + shortest(p.getMin()) + '\t' +
           shortest(p.getMax()) + '\t' + shortest(p.getDefault()) + '\t' + p.getText();
}

std::string parameterListing(const GenericPlugin& plugin)
{
    std::string text;
    for (int i = 0; i < plugin.getParameterCount(); ++i)
        text += parameterListLine(*plugin.getParameter(i)) + '\n';
    return text;
}
