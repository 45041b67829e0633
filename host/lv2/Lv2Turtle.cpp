#include "host/lv2/Lv2Turtle.h"

#include "framework/AbstractPluginParameter.h"
#include "framework/GenericPlugin.h"
#include "framework/ValueDisplay.h"

#include <charconv>
#include <cmath>
#include <set>
#include <stdexcept>

namespace {

const char* prefixes = "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
                       "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
                       "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
                       "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
                       "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
                       "@prefix midi:  <http://lv2plug.in/ns/ext/midi#> .\n"
                       "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
                       "@prefix pprop: <http://lv2plug.in/ns/ext/port-props#> .\n"
                       "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                       "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
                       "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                       "@prefix time:  <http://lv2plug.in/ns/ext/time#> .\n"
                       "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
                       "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n"
                       "@prefix work:  <http://lv2plug.in/ns/ext/worker#> .\n\n";

const char* pluginClass(int categoryCode)
{
    switch (categoryCode) {
    case 0x800:
        return "lv2:InstrumentPlugin";
    case 0x10:
        return "lv2:ReverbPlugin";
    case 0x2:
        return "lv2:EQPlugin";
    default:
        return "lv2:FilterPlugin";
    }
}

// A unit belongs on a port only when the port value is the number the
// parameter shows: the gains are dB in both, while a cut-off's port value
// runs 0..1 and only its display is in Hz.
const char* unitOf(const AbstractPluginParameter& p)
{
    const ValueDisplay* d = p.getValueDisplay();
    if (!d || p.isEnumerated())
        return nullptr;
    const float lo = p.getMin();
    const float hi = p.getMax();
    for (float x : {lo, 0.5f * (lo + hi), hi})
        if (!(std::fabs(d->displayValue(x) - x) <= 1e-4f * std::max(1.0f, std::fabs(x))))
            return nullptr;
    const std::string& u = d->getUnit();
    if (u == "Hz")
        return "units:hz";
    if (u == "dB")
        return "units:db";
    if (u == "ms")
        return "units:ms";
    if (u == "s")
        return "units:s";
    if (u == "%")
        return "units:pc";
    return nullptr;
}

void audioPorts(std::string& out, int& index, const char* kind, const char* stem, int count, bool sideChain)
{
    for (int c = 0; c < count; ++c) {
        out += "    lv2:port [\n        a lv2:AudioPort , lv2:";
        out += kind;
        out += " ;\n        lv2:index " + std::to_string(index++) + " ;\n";
        out += "        lv2:symbol " + lv2TurtleString(lv2AudioPortSymbol(stem, c, count)) + " ;\n";
        out += "        lv2:name " + lv2TurtleString(lv2AudioPortName(stem, c, count));
        if (sideChain)
            // The side-chain property has no prefix of its own in the
            // headers and schema files of every distribution; its full URI
            // is spelled out.
            out += " ;\n        lv2:portProperty lv2:connectionOptional , "
                   "<http://lv2plug.in/ns/lv2core#isSideChain>";
        out += "\n    ] ;\n";
    }
}

void parameterPort(std::string& out, int index, const AbstractPluginParameter& p, const std::string& symbol)
{
    out += "    lv2:port [\n        a lv2:InputPort , lv2:ControlPort ;\n";
    out += "        lv2:index " + std::to_string(index) + " ;\n";
    out += "        lv2:symbol " + lv2TurtleString(symbol) + " ;\n";
    out += "        lv2:name " + lv2TurtleString(p.getName()) + " ;\n";
    out += "        lv2:default " + lv2TurtleNumber(p.getValue()) + " ;\n";
    out += "        lv2:minimum " + lv2TurtleNumber(p.getMin()) + " ;\n";
    out += "        lv2:maximum " + lv2TurtleNumber(p.getMax());
    std::string properties;
    auto property = [&properties](const char* name) {
        properties += properties.empty() ? "" : " , ";
        properties += name;
    };
    if (p.isBoolean()) {
        property("lv2:toggled");
    } else if (p.isEnumerated()) {
        property("lv2:integer");
        property("lv2:enumeration");
    }
    if (!p.isAutomatable())
        property("pprop:notAutomatic");
    if (!properties.empty())
        out += " ;\n        lv2:portProperty " + properties;
    if (const char* unit = unitOf(p))
        out += " ;\n        units:unit " + std::string(unit);
    if (p.isEnumerated()) {
        const int first = static_cast<int>(p.getMin());
        const int last = static_cast<int>(p.getMax());
        for (int position = first; position <= last; ++position) {
            out += position == first ? " ;\n        lv2:scalePoint " : " ,\n            ";
            out += "[ rdfs:label " + lv2TurtleString(p.valueToText(static_cast<float>(position))) +
                   " ; rdf:value " + std::to_string(position) + " ]";
        }
    }
    out += "\n    ] ;\n";
}

void plugin(std::string& out, const Lv2PluginGroup& group, const Lv2PluginGroup::EffectType& type,
            const GenericPlugin& plugin)
{
    const Lv2PortLayout& ports = type.ports;
    out += "<" + type.uri + ">\n";
    out += "    a lv2:Plugin , doap:Project , " + std::string(pluginClass(group.getCategoryCode())) + " ;\n";
    out += "    doap:name " + lv2TurtleString(type.name) + " ;\n";
    out += "    rdfs:comment " + lv2TurtleString(group.getNameList()) + " ;\n";
    out += "    doap:maintainer [ foaf:name " + lv2TurtleString(group.getMakerName()) + " ] ;\n";
    out += "    lv2:minorVersion 0 ;\n    lv2:microVersion 0 ;\n";
    out += "    lv2:requiredFeature urid:map ;\n";
    out += "    lv2:optionalFeature lv2:hardRTCapable , opts:options , work:schedule ;\n";
    out += "    opts:supportedOption bufsz:maxBlockLength , bufsz:nominalBlockLength ;\n";
    // The instance answers for work:interface too, but it is not listed:
    // lv2file, given a plug-in that lists it and also asks for work:schedule,
    // passes a feature it never set up, and the plug-in reads garbage.
    // Hosts ask the instance for the interface when they offer the feature.
    out += "    lv2:extensionData state:interface ;\n";

    int index = 0;
    audioPorts(out, index, "InputPort", "in", ports.mainInputs, false);
    audioPorts(out, index, "OutputPort", "out", ports.outputs, false);
    audioPorts(out, index, "InputPort", "sc", ports.sideChains, true);

    out += "    lv2:port [\n        a lv2:InputPort , atom:AtomPort ;\n";
    out += "        atom:bufferType atom:Sequence ;\n";
    out += "        atom:supports midi:MidiEvent , time:Position ;\n";
    out += "        lv2:designation lv2:control ;\n";
    out += "        lv2:index " + std::to_string(index++) + " ;\n";
    out += "        lv2:symbol \"events\" ;\n        lv2:name \"Events\"\n    ] ;\n";

    out += "    lv2:port [\n        a lv2:InputPort , lv2:ControlPort ;\n";
    out += "        lv2:designation lv2:enabled ;\n";
    out += "        lv2:index " + std::to_string(index++) + " ;\n";
    out += "        lv2:symbol \"enabled\" ;\n        lv2:name \"Enabled\" ;\n";
    out += "        lv2:default 1 ;\n        lv2:minimum 0 ;\n        lv2:maximum 1 ;\n";
    out += "        lv2:portProperty lv2:toggled\n    ] ;\n";

    std::set<std::string> symbols;
    for (int i = 0; i < plugin.getParameterCount(); ++i) {
        const AbstractPluginParameter& p = *plugin.getParameter(i);
        const std::string symbol = lv2PortSymbol(p.getName());
        if (symbol.empty() || !symbols.insert(symbol).second)
            throw std::runtime_error("parameter '" + p.getName() + "' has the port symbol '" + symbol +
                                     "', which is empty or already taken");
        parameterPort(out, index++, p, symbol);
    }
    // Hosts delay the other tracks by this much, so that the plug-in's
    // output meets them in step.
    out += "    lv2:port [\n        a lv2:OutputPort , lv2:ControlPort ;\n";
    out += "        lv2:designation lv2:latency ;\n";
    out += "        lv2:index " + std::to_string(index++) + " ;\n";
    out += "        lv2:symbol \"latency\" ;\n        lv2:name \"Latency\" ;\n";
    out += "        lv2:default 0 ;\n        lv2:minimum 0 ;\n        lv2:maximum " +
           std::to_string(Lv2PortLayout::longestLatency) + " ;\n";
    out += "        lv2:portProperty lv2:reportsLatency , lv2:integer ;\n";
    out += "        units:unit units:frame\n    ] ;\n";

    // The last port statement ends the subject.
    out.replace(out.size() - 3, 3, " .\n\n");
}

} // namespace

std::string lv2TurtleString(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

std::string lv2TurtleNumber(float value)
{
    char buffer[32];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, error == std::errc() ? end : buffer);
    if (text.find_first_of(".e") == std::string::npos)
        text += ".0";
    return text;
}

std::string lv2DescriptionFile(const Lv2PluginGroup::EffectType& type, const std::string& stem)
{
    return stem + (type.layout == Lv2PluginGroup::Layout::Mono ? "-mono.ttl" : ".ttl");
}

std::string lv2ManifestTurtle(const Lv2PluginGroup& group, const std::string& binaryFile, const std::string& stem)
{
    std::string out = "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
                      "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                      "@prefix rdf:  <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                      "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                      "@prefix xsd:  <http://www.w3.org/2001/XMLSchema#> .\n\n";
    // The one property of the plug-ins' saved state (presets carry it too).
    out += "<" + group.getUri() + "#presetName>\n    a rdf:Property ;\n"
           "    rdfs:label \"preset name\" ;\n"
           "    rdfs:comment \"The name of the preset the settings came from, at most 63 characters.\" ;\n"
           "    rdfs:range xsd:string .\n\n";
    for (const Lv2PluginGroup::EffectType& type : group.getTypes()) {
        out += "<" + type.uri + ">\n    a lv2:Plugin ;\n";
        out += "    lv2:binary <" + binaryFile + "> ;\n";
        out += "    rdfs:seeAlso <" + lv2DescriptionFile(type, stem) + "> .\n\n";
    }
    return out;
}

std::string lv2PluginTurtle(const Lv2PluginGroup& group, const Lv2PluginGroup::EffectType& type,
                            const GenericPlugin& p)
{
    std::string out = prefixes;
    plugin(out, group, type, p);
    return out;
}
