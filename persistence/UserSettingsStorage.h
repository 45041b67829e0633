#pragma once

#include "framework/PluginStorage.h"

// The user-settings part of the plug-in's storage: the first instance reads
// the settings through the plug-in's serializeSettings, the last one writes
// them back, with the process-wide GlobalSettings and ApplicationInfo. The
// preset and controller-map parts come from a class derived from it.
class UserSettingsStorage : public PluginStorage {
public:
    void readUserSettings(GenericPlugin& plugin) override;
    void writeUserSettings(GenericPlugin& plugin) override;
};
