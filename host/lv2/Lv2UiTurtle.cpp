#include "host/lv2/Lv2UiTurtle.h"

#include "host/lv2/Lv2PluginGroup.h"

std::string lv2UiUri(const Lv2PluginGroup& group) { return group.getUri() + "#ui"; }

std::string lv2UiTurtle(const Lv2PluginGroup& group, const std::string& binary)
{
    const std::string ui = "<" + lv2UiUri(group) + ">";
    std::string out = "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
                      "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
                      "@prefix ui:   <http://lv2plug.in/ns/extensions/ui#> .\n\n";
    for (const Lv2PluginGroup::EffectType& type : group.getTypes())
        out += "<" + type.uri + "> ui:ui " + ui + " .\n";
    out += "\n" + ui + "\n    a ui:X11UI ;\n";
    out += "    ui:binary <" + binary + "> ;\n";
    out += "    lv2:requiredFeature ui:idleInterface , <http://lv2plug.in/ns/ext/instance-access> ,\n"
           "        <http://lv2plug.in/ns/ext/data-access> ;\n";
    out += "    lv2:optionalFeature ui:parent , ui:resize , ui:touch , opts:options ;\n";
    out += "    opts:supportedOption ui:scaleFactor ;\n";
    out += "    lv2:extensionData ui:idleInterface .\n";
    return out;
}
