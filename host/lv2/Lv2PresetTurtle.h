#pragma once

#include "host/lv2/Lv2PluginGroup.h"

#include <string>
#include <vector>

class GenericPlugin;

// Presets shipped inside the bundle, so hosts list them in their own preset
// menus: one Turtle file per preset with a value for every parameter port
// (a preset that named only some would leave the rest where the user had
// them) and the preset's name in the plug-in's state.
struct Lv2Preset {
    std::string name;         // as menus show it
    std::string folder;       // its bank; empty for none
    std::string path;         // unique among the presets: "Tempo Sync/Dubstep Wobble"
    std::vector<float> values; // every parameter's plain value, in host order
};

// "<group uri>:preset:" + the path with every byte other than a-z, A-Z,
// 0-9, "-", "_", "." and "/" percent-encoded.
std::string lv2PresetUri(const Lv2PluginGroup& group, const Lv2Preset& preset);
// The preset's file inside the bundle: "presets/" + the path with every
// run of other characters than letters and digits turned into one "_".
std::string lv2PresetFile(const Lv2Preset& preset);

// The manifest's statements for the presets: each applies to every plug-in
// of the group and is described in its own file.
std::string lv2PresetManifestTurtle(const Lv2PluginGroup& group, const std::vector<Lv2Preset>& presets);

// One preset's file. plugin gives the parameters' port symbols.
std::string lv2PresetTurtle(const Lv2PluginGroup& group, const GenericPlugin& plugin, const Lv2Preset& preset);
