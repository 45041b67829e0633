#pragma once

#include "host/lv2/Lv2PluginGroup.h"

#include <string>

class GenericPlugin;

// The bundle's description in Turtle, written from the group and from a
// plug-in object at build time, so it cannot drift from the parameter
// table. Names of the files inside the bundle are relative.

// The file that describes one type: stem + ".ttl" for stereo, stem +
// "-mono.ttl" for mono. One file per type, so a host
// that loads one plug-in's description does not parse the others'.
std::string lv2DescriptionFile(const Lv2PluginGroup::EffectType& type, const std::string& stem);

// manifest.ttl: each plug-in of the group with its binary and the file
// that describes it (presets are added with lv2PresetManifestTurtle).
std::string lv2ManifestTurtle(const Lv2PluginGroup& group, const std::string& binaryFile,
                              const std::string& stem);

// The description of one plug-in of the group, from a plug-in object built
// for it: features, extensions and ports. A parameter's port has the parameter's symbol, name, range and
// current value as default; a switch is lv2:toggled, an enumeration
// lv2:integer and lv2:enumeration with one scale point per position, and a
// unit is given where the port value is in it (Hz, dB, ms, s, %). Throws
// std::runtime_error when two parameters have the same symbol.
std::string lv2PluginTurtle(const Lv2PluginGroup& group, const Lv2PluginGroup::EffectType& type,
                            const GenericPlugin& plugin);

// A string literal, with quotes, backslashes and line breaks escaped.
std::string lv2TurtleString(const std::string& text);

// How numbers are written: the shortest text that reads back as the same
// float, always a Turtle decimal or double ("1.0", "0.248003907", "1e-05").
std::string lv2TurtleNumber(float value);
