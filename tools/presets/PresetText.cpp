#include "PresetText.h"

#include "effect/LegacyPresetLayouts.h"
#include "effect/OstrandPlugin.h"
#include "effect/SectionPresetKind.h"
#include "framework/ParameterAssignment.h"
#include "framework/ParameterText.h"
#include "framework/ParameterValueParser.h"
#include "persistence/PresetFile.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace {

struct Line {
    int number;
    std::string name;
    std::string value;
};

std::vector<Line> assignments(const std::string& text)
{
    std::vector<Line> lines;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string_view trimmed = trimBlanks(line);
        if (trimmed.empty() || trimmed.front() == '#')
            continue;
        const auto equals = trimmed.find('=');
        if (equals == std::string_view::npos)
            throw std::runtime_error("line " + std::to_string(number) + ": not NAME = VALUE");
        lines.push_back({number, std::string(trimBlanks(trimmed.substr(0, equals))),
                         std::string(trimBlanks(trimmed.substr(equals + 1)))});
    }
    return lines;
}

[[noreturn]] void fail(const Line& line, const std::string& why)
{
    throw std::runtime_error("line " + std::to_string(line.number) + ": " + why);
}

void resetAll(OstrandPlugin& plugin)
{
    for (int i = 0; i < plugin.getParameterCount(); ++i)
        plugin.getParameter(i)->resetToDefault();
}

void apply(OstrandPlugin& plugin, const Line& line, const std::vector<AbstractPluginParameter*>* allowed)
{
    const ParameterAssignment a = parseParameterAssignment(plugin, line.name + "=" + line.value);
    if (!a.ok())
        fail(line, a.error);
    AbstractPluginParameter* p = plugin.getParameter(a.index);
    if (allowed && std::find(allowed->begin(), allowed->end(), p) == allowed->end())
        fail(line, "'" + line.name + "' is not part of this section's first instance");
    p->setValue(a.plain, 0);
}

const LegacyLayout& layoutNamed(const OstrandPlugin& plugin, const Line& line)
{
    if (line.value == "MO2l 1")
        return version1Layout(plugin);
    if (line.value == "MOst 0" || line.value == "MOst 1")
        return firstGenerationLayout(plugin, line.value.back() - '0');
    fail(line, "unknown layout '" + line.value + "' (MO2l 1, MOst 0 or MOst 1)");
}

float legacyValue(OstrandPlugin& plugin, const LegacyField& field, const Line& line)
{
    if (field.parameter >= 0) {
        const ParsedParameterValue v = parseParameterValue(*plugin.getParameter(field.parameter), line.value);
        if (!v.ok)
            fail(line, v.error);
        return v.plain;
    }
    std::istringstream options(field.options);
    std::string option;
    for (int position = 0; std::getline(options, option, ','); ++position)
        if (option == line.value)
            return static_cast<float>(position);
    char* end = nullptr;
    const float number = std::strtof(line.value.c_str(), &end);
    if (end == line.value.c_str() || *end != '\0')
        fail(line, "'" + line.value + "' is neither a number nor one of: " + field.options);
    return number;
}

std::string legacyFile(OstrandPlugin& plugin, const std::vector<Line>& lines)
{
    const LegacyLayout& layout = layoutNamed(plugin, lines.front());
    std::vector<float> values;
    for (const LegacyField& f : layout.fields)
        values.push_back(f.parameter >= 0 ? plugin.getParameter(f.parameter)->getDefault() : f.defaultValue);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const int field = layout.find(lines[i].name);
        if (field < 0)
            fail(lines[i], "the layout has no field '" + lines[i].name + "'");
        values[static_cast<std::size_t>(field)] =
            legacyValue(plugin, layout.fields[static_cast<std::size_t>(field)], lines[i]);
    }
    return legacyPresetBytes(layout, values);
}

} // namespace

std::string buildPresetFile(OstrandPlugin& plugin, const std::string& fileName, const std::string& text)
{
    const std::vector<Line> lines = assignments(text);
    const auto dot = fileName.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : fileName.substr(dot);
    if (extension == plugin.presetExtension()) {
        if (!lines.empty() && lines.front().name == "Layout")
            return legacyFile(plugin, lines);
        resetAll(plugin);
        for (const Line& line : lines)
            apply(plugin, line, nullptr);
        return presetFileBytes(PresetParameters::all(plugin), presetFormatVersion());
    }
    for (const SectionPresetKind& kind : sectionPresetKinds) {
        if (extension != kind.extension)
            continue;
        resetAll(plugin);
        const PresetParameters section = PresetParameters::component(plugin, kind.componentKind, 0);
        for (const Line& line : lines)
            apply(plugin, line, &section.parameters);
        return presetFileBytes(section, sectionPresetVersion);
    }
    throw std::runtime_error("'" + extension + "' is no preset extension");
}
