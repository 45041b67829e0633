// The user settings: read by the first instance of the process and written
// by the last, the help file's name owned by the installation, the manual
// found where the plug-in was installed. (The previous generation's preset
// folder: the effect's preset tests.)
#include "persistence/UserSettings.h"

#include "framework/ApplicationInfo.h"
#include "framework/GenericPlugin.h"
#include "framework/GlobalSettings.h"
#include "framework/SettingSerializer.h"
#include "persistence/SettingsStore.h"
#include "persistence/UserManual.h"
#include "persistence/UserSettingsStorage.h"

#include "TestFiles.h"

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

class MinimalPlugin final : public GenericPlugin {
public:
    MinimalPlugin() { initialize("Ostrand"); }
    std::string presetMagic() const override { return "Test"; }
};

struct FakePresetFolder final : MainPresetFolder {
    std::string path = "/default/";
    std::string getPath() const override { return path; }
    std::string getDefaultPath() const override { return "/default/"; }
    void setPath(const std::string& p) override { path = p; }
};

class UserSettings : public ::testing::Test {
protected:
    TemporaryHome home;
    ApplicationInfo info;
    std::filesystem::path userStore = home.path("config/Merovance/Ostrand/2.0.settings");
    std::filesystem::path machineStore = home.path("machine/Merovance/Ostrand/2.0.settings");
};

} // namespace

// The first instance of the process reads the user's store, the last one
// writes it back; instances in between touch nothing.
TEST_F(UserSettings, FirstInstanceReadsAndLastInstanceWrites)
{
    testsupport::writeFile(userStore, "merovance-settings 1\n"
                                      "dword \"showWelcomeHint\" 1\n"
                                      "dword \"ViewProgramNumbersEnabled\" 1\n"
                                      "sz \"PresetFolder\" \"/mine/\"\n");
    UserSettingsStorage storage;
    FakePresetFolder folder;
    PluginStorage::install(&storage);
    MainPresetFolder::install(&folder);
    GlobalSettings& settings = GlobalSettings::shared();
    {
        auto first = std::make_unique<MinimalPlugin>();
        EXPECT_TRUE(settings.showWelcomeHint.get());
        EXPECT_TRUE(settings.showInteractiveHelp.get()); // not in the file: it keeps its value
        EXPECT_TRUE(settings.viewProgramNumbersEnabled.get());
        EXPECT_FALSE(settings.savePresetItemEnabled.get());
        EXPECT_EQ(folder.path, "/mine/");

        settings.savePresetItemEnabled.set(true);
        settings.showInteractiveHelp.set(false);
        folder.path = "/changed/";
        auto second = std::make_unique<MinimalPlugin>();
        first.reset();
        EXPECT_EQ(SettingsStore::load(userStore.string()).size(), 3u); // not yet written
    }
    SettingsStore::Values written = SettingsStore::load(userStore.string());
    EXPECT_EQ(written.size(), 6u);
    EXPECT_EQ(written["SavePresetItemEnabled"], SettingsStore::Value(SettingsStore::Dword(1)));
    EXPECT_EQ(written["showInteractiveHelp"], SettingsStore::Value(SettingsStore::Dword(0)));
    EXPECT_EQ(written["PresetFolder"], SettingsStore::Value(SettingsStore::Text("/changed/")));

    PluginStorage::install(nullptr);
    MainPresetFolder::install(nullptr);
    settings.savePresetItemEnabled.set(false);
    settings.showWelcomeHint.set(false);
    settings.showInteractiveHelp.set(true);
    settings.viewProgramNumbersEnabled.set(false);
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

    testsupport::writeFile(machineStore, "merovance-settings 1\nsz \"HelpFileName\" \"/usr/share/help.html\"\n");
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

    testsupport::writeFile(page("second"), "<html>");
    EXPECT_EQ(findUserManual(inBuild, lv2Path, ""), page("second").string());
    // Without LV2_PATH the user's own LV2 folder is searched.
    testsupport::writeFile(page("home/.lv2"), "<html>");
    EXPECT_EQ(findUserManual(inBuild, "", home.path("home").string()), page("home/.lv2").string());

    testsupport::writeFile(page("build/lv2"), "<html>");
    EXPECT_EQ(findUserManual(inBuild, lv2Path, ""), page("build/lv2").string());
    testsupport::writeFile(page("plugins"), "<html>");
    EXPECT_EQ(findUserManual(inBundle, lv2Path, ""), page("plugins").string());
    // A folder of that name is not the manual.
    std::filesystem::remove(page("plugins"));
    std::filesystem::create_directories(page("plugins"));
    EXPECT_EQ(findUserManual(inBundle, lv2Path, ""), page("second").string());
}
