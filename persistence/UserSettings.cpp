#include "persistence/UserSettings.h"

#include "framework/ApplicationInfo.h"
#include "framework/GlobalSettings.h"
#include "persistence/RegistryReader.h"
#include "persistence/RegistryWriter.h"
#include "persistence/SettingsLocation.h"

std::string userSettingsKeyPath(const ApplicationInfo& info)
{
    return settingsKeyPath(info.getShortName(), info.majorVersion);
}

void readUserSettings(const std::function<void(SettingSerializer&)>& serializeSettings, GlobalSettings& settings,
                      const ApplicationInfo& info, const std::string& helpFileDefault)
{
    std::string key = userSettingsKeyPath(info);
    if (settings.helpFileName.empty())
        settings.helpFileName = helpFileDefault;
    RegistryReader user(RegistryRoot::currentUser, key);
    serializeSettings(user);
    if (info.readMachineSettings) {
        // A packager that puts the manual elsewhere says so in the machine
        // store; otherwise the copy in the bundle is the one to open.
        RegistryReader machine(RegistryRoot::localMachine, key);
        settings.helpFileName = machine.serializeString("HelpFileName", helpFileDefault, helpFileDefault);
    }
}

void writeUserSettings(const std::function<void(SettingSerializer&)>& serializeSettings,
                       const ApplicationInfo& info)
{
    RegistryWriter user(userSettingsKeyPath(info));
    serializeSettings(user);
}

std::string previousGenerationPresetFolder(const ApplicationInfo& info)
{
    RegistryReader previous(RegistryRoot::currentUser, settingsKeyPath(info.getShortName(), 1));
    return previous.serializeString("PresetFolder", "", "");
}
