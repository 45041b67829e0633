#include "framework/ParameterAssignment.h"

#include "framework/AbstractPluginParameter.h"
#include "framework/GenericPlugin.h"
#include "framework/ParameterLookup.h"
#include "framework/ParameterText.h"
#include "framework/ParameterValueParser.h"

ParameterAssignment parseParameterAssignment(const GenericPlugin& plugin, std::string_view text)
{
    ParameterAssignment result;
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        result.error = "'" + std::string(text) + "' is not of the form NAME=VALUE";
        return result;
    }
    const std::string name(trimBlanks(text.substr(0, equals)));
    const std::string_view value = trimBlanks(text.substr(equals + 1));
    const int index = plugin.findParameter(name);
    if (index < 0) {
        result.error = "no parameter is named '" + name + "'";
        const auto close = closestParameterNames(plugin, name);
        for (std::size_t i = 0; i < close.size(); ++i)
            result.error += (i == 0 ? "; did you mean '" : " or '") + close[i] + "'";
        if (!close.empty())
            result.error += "?";
        return result;
    }
    const ParsedParameterValue parsed = parseParameterValue(*plugin.getParameter(index), value);
    if (!parsed.ok) {
        result.error = "cannot set '" + name + "': " + parsed.error;
        return result;
    }
    result.index = index;
    result.plain = parsed.plain;
    return result;
}

ParameterAssignment applyParameterAssignment(GenericPlugin& plugin, std::string_view text)
{
    ParameterAssignment a = parseParameterAssignment(plugin, text);
    if (a.ok())
        plugin.getParameter(a.index)->setValue(a.plain, 0);
    return a;
}
