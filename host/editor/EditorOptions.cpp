#include "EditorOptions.h"

#include <algorithm>
#include <charconv>

EditorOptions parseEditorOptions(const std::vector<std::string_view>& arguments)
{
    EditorOptions options;
    auto value = [&](std::size_t& i, std::string_view name) -> std::string_view {
        if (i + 1 >= arguments.size()) {
            options.error = std::string(name) + " needs a value";
            return {};
        }
        return arguments[++i];
    };
    auto number = [&](std::string_view text, int low, int high, std::string_view name) {
        int n = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (error != std::errc() || end != text.data() + text.size() || n < low || n > high) {
            options.error = std::string(name) + " takes a number from " + std::to_string(low) + " to " +
                            std::to_string(high) + ", not '" + std::string(text) + "'";
            return low;
        }
        return n;
    };
    for (std::size_t i = 0; i < arguments.size() && options.error.empty(); ++i) {
        const std::string_view a = arguments[i];
        if (a == "--help" || a == "-h")
            options.help = true;
        else if (a == "--snapshot")
            options.snapshot = value(i, a);
        else if (a == "--preset")
            options.preset = value(i, a);
        else if (a == "--set")
            options.settings.emplace_back(value(i, a));
        else if (a == "--scale")
            options.scale = number(value(i, a), 1, 2, a);
        else if (a == "--filter")
            options.activeFilter = number(value(i, a), 1, 4, a);
        else
            options.error = "unknown option '" + std::string(a) + "'";
    }
    if (options.error.empty() && options.snapshot.empty() && std::find(arguments.begin(), arguments.end(), "--snapshot") != arguments.end())
        options.error = "--snapshot needs a file name";
    return options;
}
