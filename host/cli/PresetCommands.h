#pragma once

#include <string>

class GenericPlugin;
class PresetManager;

// The renderer's preset options, over the plug-in's shared preset library.

// The file --preset names: the text itself when it holds a folder or names
// a file here, else the path of the first preset of that name in the
// preset folders; empty when there is none.
std::string presetFileFor(const std::string& given);

// One line per preset in bank/program order: "(bank/program) name", its
// folder as the preset menu shows it ("Tempo Sync", "V1 Preset Folder/Old")
// and its file, tab-separated.
std::string presetListing(const PresetManager& presets);
