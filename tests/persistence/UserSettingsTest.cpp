#include "persistence/UserSettings.h"

#include "framework/ApplicationInfo.h"
#include "framework/GlobalSettings.h"
#include "framework/SettingSerializer.h"
#include "persistence/SettingsStore.h"
#include "persistence/UserManual.h"

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

TEST_F(UserSettings, HelpFileNameIsTheBundledManualUnlessTheMachineStoreNamesAnother)
{
    const std::string bundled = "/lv2/ostrand.lv2/manual/index.html";
    Subject user;
    user.settings.helpFileName = "/user/help.html";
    writeUserSettings(user.routine(), info);

    // The installation owns the name: a user's old value does not count.
    Subject withoutMachine;
    readUserSettings(withoutMachine.routine(), withoutMachine.settings, info, bundled);
    EXPECT_EQ(withoutMachine.settings.helpFileName, bundled);

    TemporaryHome::writeFile(machineStore, "merovance-settings 1\nsz \"HelpFileName\" \"/usr/share/help.html\"\n");
    Subject withMachine;
    readUserSettings(withMachine.routine(), withMachine.settings, info, bundled);
    EXPECT_EQ(withMachine.settings.helpFileName, "/usr/share/help.html");

    info.readMachineSettings = false;
    Subject userOnly;
    readUserSettings(userOnly.routine(), userOnly.settings, info, bundled);
    EXPECT_EQ(userOnly.settings.helpFileName, "/user/help.html");
    std::filesystem::remove(userStore);
    Subject fresh;
    readUserSettings(fresh.routine(), fresh.settings, info, bundled);
    EXPECT_EQ(fresh.settings.helpFileName, bundled);
}

TEST_F(UserSettings, TheManualIsFoundBesideTheModuleThenInTheBuildThenOnTheLv2Path)
{
    const auto page = [&](const std::string& bundleFolder) {
        return home.path(bundleFolder + "/ostrand.lv2/manual/index.html");
    };
    const std::string inBundle = home.path("plugins/ostrand.lv2/ostrand.so").string();
    const std::string inBuild = home.path("build/bin/ostrand-render").string();
    const std::string lv2Path = home.path("first").string() + "::" + home.path("second").string();
    EXPECT_EQ(findUserManual(inBundle, lv2Path, home.path("home").string()), "");

    TemporaryHome::writeFile(page("second"), "<html>");
    EXPECT_EQ(findUserManual(inBuild, lv2Path, ""), page("second").string());
    // Without LV2_PATH the user's own LV2 folder is searched.
    TemporaryHome::writeFile(page("home/.lv2"), "<html>");
    EXPECT_EQ(findUserManual(inBuild, "", home.path("home").string()), page("home/.lv2").string());

    TemporaryHome::writeFile(page("build/lv2"), "<html>");
    EXPECT_EQ(findUserManual(inBuild, lv2Path, ""), page("build/lv2").string());
    TemporaryHome::writeFile(page("plugins"), "<html>");
    EXPECT_EQ(findUserManual(inBundle, lv2Path, ""), page("plugins").string());
    // A folder of that name is not the manual.
    std::filesystem::remove(page("plugins"));
    std::filesystem::create_directories(page("plugins"));
    EXPECT_EQ(findUserManual(inBundle, lv2Path, ""), page("second").string());
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
