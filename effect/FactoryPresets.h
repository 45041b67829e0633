#pragma once

#include <string>
#include <vector>

class OstrandPlugin;

// The full presets of the factory content, read straight from the bundle
// compiled into the program (no file is read or written). A program only
// has them when it links the factory content (the CMake object library
// ostrand_factory_content); otherwise the list is empty.
//
// For build-time tools (the LV2 bundle's preset export) as well as the
// plug-in: a tool creates one OstrandPlugin, after installing an inert
// PluginStorage (PluginStorage::install) so the instance touches no user
// folder, and passes it here.
struct FactoryPreset {
    std::string folder;        // the folder as a menu shows it: "Tempo Sync", "Getting Started"
    std::string name;          // the preset's name: "Dubstep Wobble"
    std::string path;          // below the factory presets: "Tempo Sync/Dubstep Wobble.mvp"
    std::string bytes;         // the file as shipped (of any generation)
    std::vector<float> values; // every parameter's plain value once loaded, in host order
};

// In the order of the preset menu (pinned folders first, subfolders before
// a folder's own presets, names without regard to case), so entry i is
// bank i / 128, program i % 128 of a preset folder holding only these.
// Each preset is loaded into `scratch` (earlier layouts converted) to read
// its values; `scratch` gets its own values back at the end.
std::vector<FactoryPreset> readFactoryPresets(OstrandPlugin& scratch);
