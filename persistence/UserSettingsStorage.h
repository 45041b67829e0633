#pragma once

#include "framework/PluginStorage.h"

// The settings part of the plug-in's storage: the first instance reads the
// user settings through the plug-in's serializeSettings, the last one writes
// them back, with the process-wide GlobalSettings and ApplicationInfo; the
// MIDI controller map goes to and from its file in the product's data
// folder. The preset part comes from a class derived from it.
class UserSettingsStorage : public PluginStorage {
public:
    void readUserSettings(GenericPlugin& plugin) override;
    void writeUserSettings(GenericPlugin& plugin) override;

    // A missing, foreign or damaged file leaves the map as it was.
    void loadMidiControllerMap(MidiControllerMap& map) override;
    void saveMidiControllerMap(const MidiControllerMap& map) override;
};
