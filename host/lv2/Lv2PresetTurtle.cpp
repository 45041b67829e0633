#include "host/lv2/Lv2PresetTurtle.h"

#include "framework/AbstractPluginParameter.h"
#include "framework/GenericPlugin.h"
#include "host/lv2/Lv2PortLayout.h"
#include "host/lv2/Lv2Turtle.h"

#include <cctype>
#include <cstdio>

namespace {

std::string percentEncoded(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '/') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string bankUri(const Lv2PluginGroup& group, const std::string& folder)
{
    return group.getUri() + ":bank:" + percentEncoded(folder);
}

} // namespace

std::string lv2PresetUri(const Lv2PluginGroup& group, const Lv2Preset& preset)
{
    return group.getUri() + ":preset:" + percentEncoded(preset.path);
}

std::string lv2PresetFile(const Lv2Preset& preset)
{
    std::string name;
    bool gap = false;
    for (unsigned char c : preset.path) {
        if (std::isalnum(c)) {
            if (gap && !name.empty())
                name += '_';
            name += static_cast<char>(c);
            gap = false;
        } else {
            gap = true;
        }
    }
    return "presets/" + name + ".ttl";
}

std::string lv2PresetManifestTurtle(const Lv2PluginGroup& group, const std::vector<Lv2Preset>& presets)
{
    std::string out;
    for (const Lv2Preset& preset : presets) {
        out += "<" + lv2PresetUri(group, preset) + ">\n    a pset:Preset ;\n    lv2:appliesTo ";
        for (std::size_t t = 0; t < group.getTypes().size(); ++t)
            out += (t ? " , <" : "<") + group.getTypes()[t].uri + ">";
        // The label here too: a host can list the presets from the manifest
        // without reading every preset's file.
        out += " ;\n    rdfs:label " + lv2TurtleString(preset.name);
        out += " ;\n    rdfs:seeAlso <" + lv2PresetFile(preset) + "> .\n\n";
    }
    return out;
}

std::string lv2PresetTurtle(const Lv2PluginGroup& group, const GenericPlugin& plugin, const Lv2Preset& preset)
{
    std::string out = "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
                      "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
                      "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
                      "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n\n";
    out += "<" + lv2PresetUri(group, preset) + ">\n    a pset:Preset ;\n";
    out += "    rdfs:label " + lv2TurtleString(preset.name) + " ;\n";
    if (!preset.folder.empty())
        out += "    pset:bank <" + bankUri(group, preset.folder) + "> ;\n";
    out += "    state:state [\n        <" + group.getUri() + "#presetName> " + lv2TurtleString(preset.name) +
           "\n    ] ;\n";
    const int n = std::min(plugin.getParameterCount(), static_cast<int>(preset.values.size()));
    for (int i = 0; i < n; ++i) {
        out += i == 0 ? "    lv2:port [\n" : " , [\n";
        out += "        lv2:symbol " + lv2TurtleString(lv2PortSymbol(plugin.getParameter(i)->getName())) +
               " ;\n        pset:value " + lv2TurtleNumber(preset.values[static_cast<std::size_t>(i)]) +
               "\n    ]";
    }
    out += " .\n";
    if (!preset.folder.empty())
        out += "\n<" + bankUri(group, preset.folder) + ">\n    a pset:Bank ;\n    rdfs:label " +
               lv2TurtleString(preset.folder) + " .\n";
    return out;
}
