#include "framework/GlobalSettings.h"

#include "framework/SettingSerializer.h"

GlobalSettings& GlobalSettings::shared()
{
    static GlobalSettings settings;
    return settings;
}

namespace {

void serializeSwitch(SettingSerializer& serializer, const char* name, Property<bool>& value)
{
    bool current = value.get();
    value.set(serializer.serializeBool(name, current, current));
}

} // namespace

void serializeGlobalSettings(GlobalSettings& settings, SettingSerializer& serializer)
{
    settings.helpFileName = serializer.serializeString("HelpFileName", settings.helpFileName, settings.helpFileName);
    serializeSwitch(serializer, "SavePresetItemEnabled", settings.savePresetItemEnabled);
    serializeSwitch(serializer, "ViewProgramNumbersEnabled", settings.viewProgramNumbersEnabled);
    serializeSwitch(serializer, "showInteractiveHelp", settings.showInteractiveHelp);
    serializeSwitch(serializer, "showWelcomeHint", settings.showWelcomeHint);
}
