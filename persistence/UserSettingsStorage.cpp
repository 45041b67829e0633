#include "persistence/UserSettingsStorage.h"

#include "framework/ApplicationInfo.h"
#include "framework/GenericPlugin.h"
#include "framework/GlobalSettings.h"
#include "persistence/MidiControllerMapFile.h"
#include "persistence/UserManual.h"
#include "persistence/UserSettings.h"

void UserSettingsStorage::readUserSettings(GenericPlugin& plugin)
{
    ::readUserSettings([&plugin](SettingSerializer& serializer) { plugin.serializeSettings(serializer); },
                       GlobalSettings::shared(), ApplicationInfo::shared(), userManualPath());
}

void UserSettingsStorage::writeUserSettings(GenericPlugin& plugin)
{
    ::writeUserSettings([&plugin](SettingSerializer& serializer) { plugin.serializeSettings(serializer); },
                        ApplicationInfo::shared());
}

void UserSettingsStorage::loadMidiControllerMap(MidiControllerMap& map)
{
    readMidiControllerMap(midiControllerMapPath(), map);
}

void UserSettingsStorage::saveMidiControllerMap(const MidiControllerMap& map)
{
    writeMidiControllerMap(midiControllerMapPath(), map);
}
