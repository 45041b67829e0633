#pragma once

#include "persistence/PresetManager.h"
#include "persistence/UserSettingsStorage.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// The plug-in's whole storage: the user settings and the MIDI controller
// map (UserSettingsStorage), and presets through the shared PresetLibrary.
//
// The first instance of the process makes the library the settings' main
// preset folder, reads the settings (which point the library at the
// "PresetFolder"), creates and scans the section folders, installs the
// factory content without replacing anything and adds the previous
// generation's folder. Without this storage (a build tool installs an inert
// one) no preset folder is ever touched.
//
// The program tables: every rescan of the full presets (on the thread that
// rescans) notes the list's names and places and raises the generation;
// a plug-in asking for its table on any other thread then gets one read
// from the files of that list, once per generation and parameter layout.
// A file whose time and size are those of the previous table's reading is
// not read again, so a rescan that finds the same files (every new first
// instance of the process rescans) costs a look at each file only.
class PresetStorage : public UserSettingsStorage, private PresetListener {
public:
    void readUserSettings(GenericPlugin& plugin) override;
    // Full presets in the plug-in's current layout (presetFormatVersion).
    // A plug-in that reads older layouts too overrides GenericPlugin::readPreset.
    bool readPreset(GenericPlugin& plugin, const std::string& path, std::vector<float>& values) override;
    // Writes the file, then rescans the full presets.
    bool savePreset(GenericPlugin& plugin, const std::string& path) override;
    // The full presets' flat list, each read through the plug-in's own
    // readPreset; a preset that cannot be read selects nothing.
    std::shared_ptr<const ProgramTable> programTable(GenericPlugin& plugin) override;

private:
    void presetsChanged() override;

    std::mutex mutex;
    // The list as the last rescan left it: name and place of each preset.
    std::vector<std::pair<std::string, std::string>> programList;
    std::uint64_t listGeneration = 0;
    // The latest table of each parameter layout (preset magic and
    // parameter count), with the time and size of each file it read.
    struct Layout {
        std::shared_ptr<const ProgramTable> table;
        std::map<std::string, std::pair<std::int64_t, std::uintmax_t>> stamps;
    };
    std::map<std::pair<std::string, int>, Layout> layouts;
};
