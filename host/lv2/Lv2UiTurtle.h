#pragma once

#include <string>

class Lv2PluginGroup;

// The editor's UI in the bundle's manifest: every plug-in of the group has
// it as its ui:ui, an X11 UI in `binary` that needs the host's idle calls
// and the plug-in instance itself (instance-access and data-access), and
// takes the host's parent window, resize, touch and options (the scale
// factor) when offered.
std::string lv2UiTurtle(const Lv2PluginGroup& group, const std::string& binary);

// The UI's URI: the group's with "#ui".
std::string lv2UiUri(const Lv2PluginGroup& group);
