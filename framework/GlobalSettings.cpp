#include "framework/GlobalSettings.h"

#include "framework/SettingSerializer.h"

#include <atomic>

namespace {

std::atomic<GlobalSettings*> adopted{nullptr};

} // namespace

GlobalSettings& GlobalSettings::shared()
{
    if (GlobalSettings* other = adopted.load(std::memory_order_acquire))
        return *other;
    static GlobalSettings settings;
    return settings;
}

void GlobalSettings::adopt(GlobalSettings* other) { adopted.store(other, std::memory_order_release); }

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
