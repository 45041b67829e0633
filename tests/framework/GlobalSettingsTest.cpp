#include "framework/ApplicationInfo.h"
#include "framework/GlobalSettings.h"

#include "TextSettingStore.h"

#include <gtest/gtest.h>

namespace {

struct CountingListener final : PropertyOwner {
    int calls = 0;
    void propertyChanged(PropertyBase&) override { ++calls; }
};

} // namespace

TEST(GlobalSettings, DefaultsAndProductNames)
{
    GlobalSettings settings;
    EXPECT_EQ(settings.helpFileName, "");
    EXPECT_FALSE(settings.savePresetItemEnabled.get());
    EXPECT_TRUE(settings.showInteractiveHelp.get());
    EXPECT_FALSE(settings.showWelcomeHint.get());
    EXPECT_FALSE(settings.viewProgramNumbersEnabled.get());

    ApplicationInfo info;
    EXPECT_EQ(info.getShortName(), "Ostrand");
    EXPECT_EQ(info.getFullName(), "Merovance Ostrand");
    EXPECT_EQ(info.majorVersion, 2);
    EXPECT_TRUE(info.readMachineSettings);
    info.setShortName("Other");
    EXPECT_EQ(info.getFullName(), "Merovance Other");
    EXPECT_EQ(&GlobalSettings::shared(), &GlobalSettings::shared());
}

TEST(GlobalSettings, WritingPassesEveryValueInItsOrder)
{
    GlobalSettings settings;
    settings.helpFileName = "/usr/share/doc/ostrand/index.html";
    settings.viewProgramNumbersEnabled.set(true);
    settings.showInteractiveHelp.set(false);
    TextSettingStore store(true);
    serializeGlobalSettings(settings, store);

    EXPECT_EQ(store.log, (std::vector<std::string>{"HelpFileName", "SavePresetItemEnabled", "ViewProgramNumbersEnabled",
                                                   "showInteractiveHelp", "showWelcomeHint"}));
    EXPECT_EQ(store.text["HelpFileName"], "/usr/share/doc/ostrand/index.html");
    EXPECT_EQ(store.text["SavePresetItemEnabled"], "0");
    EXPECT_EQ(store.text["ViewProgramNumbersEnabled"], "1");
    EXPECT_EQ(store.text["showInteractiveHelp"], "0");
    EXPECT_EQ(store.text["showWelcomeHint"], "0");
    // Writing changes nothing.
    EXPECT_TRUE(settings.viewProgramNumbersEnabled.get());
    EXPECT_EQ(settings.helpFileName, "/usr/share/doc/ostrand/index.html");
}

TEST(GlobalSettings, ReadingChangesValuesAndTellsTheirListeners)
{
    GlobalSettings settings;
    settings.helpFileName = "kept when absent";
    CountingListener savePreset, interactive, welcome, numbers;
    settings.savePresetItemEnabled.setOwner(&savePreset);
    settings.showInteractiveHelp.setOwner(&interactive);
    settings.showWelcomeHint.setOwner(&welcome);
    settings.viewProgramNumbersEnabled.setOwner(&numbers);

    TextSettingStore store(false);
    store.text = {{"SavePresetItemEnabled", "1"}, {"showInteractiveHelp", "1"}, {"showWelcomeHint", "garbage"}};
    serializeGlobalSettings(settings, store);
    EXPECT_EQ(settings.helpFileName, "kept when absent");
    EXPECT_TRUE(settings.savePresetItemEnabled.get());
    EXPECT_EQ(savePreset.calls, 1);
    EXPECT_TRUE(settings.showInteractiveHelp.get()); // stored value equals the current one
    EXPECT_EQ(interactive.calls, 0);
    EXPECT_FALSE(settings.showWelcomeHint.get()); // unusable text keeps the current value
    EXPECT_EQ(welcome.calls, 0);
    EXPECT_EQ(numbers.calls, 0);

    // A written set reads back into fresh settings unchanged.
    TextSettingStore written(true);
    settings.helpFileName = "help.html";
    serializeGlobalSettings(settings, written);
    GlobalSettings fresh;
    written.writing = false;
    serializeGlobalSettings(fresh, written);
    EXPECT_EQ(fresh.helpFileName, "help.html");
    EXPECT_TRUE(fresh.savePresetItemEnabled.get());
    EXPECT_TRUE(fresh.showInteractiveHelp.get());
}
