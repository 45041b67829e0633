#include "persistence/UserSettings.h"

#include "framework/ApplicationInfo.h"
#include "framework/GlobalSettings.h"
#include "framework/SettingSerializer.h"
#include "persistence/SettingsStore.h"

#include "TemporaryHome.h"

#include <gtest/gtest.h>

namespace {

// What the plug-in's serializeSettings does, on a settings object of the
// test's own and with a preset folder string in place of the manager.
struct Subject {
    GlobalSettings settings;
    std::string presetFolder = "/default/presets/";

    std::function<void(SettingSerializer&)> routine()
    {
        return [this](SettingSerializer& serializer) {
            serializeGlobalSettings(settings, serializer);
            presetFolder = serializer.serializeString("PresetFolder", presetFolder, "/default/presets/");
        };
    }
};

class UserSettings : public ::testing::Test {
protected:
    TemporaryHome home;
    ApplicationInfo info;
    std::filesystem::path userStore = home.path("config/Merovance/Ostrand/2.0.settings");
    std::filesystem::path machineStore = home.path("machine/Merovance/Ostrand/2.0.settings");
};

} // namespace

TEST_F(UserSettings, WrittenAtTearDownAndReadAtStartUp)
{
    EXPECT_EQ(userSettingsKeyPath(info), "Software\\Merovance\\Ostrand\\2.0");
    Subject before;
    before.settings.helpFileName = "/doc/help.html";
    before.settings.savePresetItemEnabled.set(true);
    before.settings.showInteractiveHelp.set(false);
    before.settings.showWelcomeHint.set(true);
    before.settings.viewProgramNumbersEnabled.set(true);
    before.presetFolder = "/home/me/My Presets/";
    writeUserSettings(before.routine(), info);

    SettingsStore::Values stored = SettingsStore::load(userStore.string());
    EXPECT_EQ(stored.size(), 6u);
    EXPECT_EQ(stored["showInteractiveHelp"], SettingsStore::Value(SettingsStore::Dword(0)));
    EXPECT_EQ(stored["PresetFolder"], SettingsStore::Value(SettingsStore::Text("/home/me/My Presets/")));

    info.readMachineSettings = false;
    Subject after;
    readUserSettings(after.routine(), after.settings, info);
    EXPECT_EQ(after.settings.helpFileName, "/doc/help.html");
    EXPECT_TRUE(after.settings.savePresetItemEnabled.get());
    EXPECT_FALSE(after.settings.showInteractiveHelp.get());
    EXPECT_TRUE(after.settings.showWelcomeHint.get());
    EXPECT_TRUE(after.settings.viewProgramNumbersEnabled.get());
    EXPECT_EQ(after.presetFolder, "/home/me/My Presets/");
}

TEST_F(UserSettings, HelpFileNameComesFromTheMachineStoreWhenAsked)
{
    Subject user;
    user.settings.helpFileName = "/user/help.html";
    writeUserSettings(user.routine(), info);

    // The installer owns the name: without a machine value it is empty.
    Subject withoutMachine;
    readUserSettings(withoutMachine.routine(), withoutMachine.settings, info);
    EXPECT_EQ(withoutMachine.settings.helpFileName, "");

    TemporaryHome::writeFile(machineStore, "merovance-settings 1\nsz \"HelpFileName\" \"/usr/share/help.html\"\n");
    Subject withMachine;
    readUserSettings(withMachine.routine(), withMachine.settings, info);
    EXPECT_EQ(withMachine.settings.helpFileName, "/usr/share/help.html");

    info.readMachineSettings = false;
    Subject userOnly;
    readUserSettings(userOnly.routine(), userOnly.settings, info);
    EXPECT_EQ(userOnly.settings.helpFileName, "/user/help.html");
}

TEST_F(UserSettings, PreviousGenerationPresetFolder)
{
    EXPECT_EQ(previousGenerationPresetFolder(info), "");
    auto previous = home.path("config/Merovance/Ostrand/1.0.settings");
    TemporaryHome::writeFile(previous, "merovance-settings 1\nsz \"PresetFolder\" \"/old/presets/\"\n");
    EXPECT_EQ(previousGenerationPresetFolder(info), "/old/presets/");
    TemporaryHome::writeFile(previous, "merovance-settings 1\ndword \"PresetFolder\" 1\n");
    EXPECT_EQ(previousGenerationPresetFolder(info), "");
}
