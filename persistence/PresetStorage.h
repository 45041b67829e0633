#pragma once

#include "persistence/UserSettingsStorage.h"

// The plug-in's whole storage: the user settings and the MIDI controller
// map (UserSettingsStorage), and presets through the shared PresetLibrary.
//
// The first instance of the process makes the library the settings' main
// preset folder, reads the settings (which point the library at the
// "PresetFolder"), creates and scans the section folders, installs the
// factory content without replacing anything and adds the previous
// generation's folder. Without this storage (a build tool installs an inert
// one) no preset folder is ever touched.
class PresetStorage : public UserSettingsStorage {
public:
    void readUserSettings(GenericPlugin& plugin) override;
    // Full presets in the plug-in's current layout (presetFormatVersion).
    // A plug-in that reads older layouts too overrides GenericPlugin::loadPreset.
    bool loadPreset(GenericPlugin& plugin, const std::string& path) override;
    // Writes the file, then rescans the full presets.
    bool savePreset(GenericPlugin& plugin, const std::string& path) override;
    // The preset at bank * 128 + program of the full presets' flat list,
    // loaded through the plug-in's own loadPreset (so it becomes the
    // current preset).
    bool loadProgram(GenericPlugin& plugin, int bank, int program) override;
};
