#pragma once

#include <functional>
#include <string>

class ApplicationInfo;
class GlobalSettings;
class SettingSerializer;

// Loading and saving the user settings of the process, around the plug-in's
// own serializeSettings routine.

// The user settings key of a product: "Software\Merovance\Ostrand\2.0".
std::string userSettingsKeyPath(const ApplicationInfo& info);

// Start-up of the first instance: passes a reader of the user's store through
// `serializeSettings`; then, when `info` says installer-written values count,
// the help file name is taken from the machine-wide store. Where neither
// store names a help file, it is `helpFileDefault`: the manual that came
// with the plug-in (see UserManual.h), or empty when there is none.
void readUserSettings(const std::function<void(SettingSerializer&)>& serializeSettings, GlobalSettings& settings,
                      const ApplicationInfo& info, const std::string& helpFileDefault = {});

// Tear-down of the last instance: passes a writer of the user's store through
// `serializeSettings`, so every setting is written back at once.
void writeUserSettings(const std::function<void(SettingSerializer&)>& serializeSettings,
                       const ApplicationInfo& info);

// The preset folder that the previous product generation (major version 1)
// stored for the user; empty when there is none.
std::string previousGenerationPresetFolder(const ApplicationInfo& info);
