#include "persistence/UserSettingsStorage.h"

#include "framework/GenericPlugin.h"
#include "framework/GlobalSettings.h"
#include "persistence/SettingsStore.h"

#include "TemporaryHome.h"

#include <gtest/gtest.h>

namespace {

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

} // namespace

// The first instance of the process reads the user's store, the last one
// writes it back; instances in between touch nothing.
TEST(UserSettingsStorage, FirstInstanceReadsAndLastInstanceWrites)
{
    TemporaryHome home;
    auto store = home.path("config/Merovance/Ostrand/2.0.settings");
    TemporaryHome::writeFile(store, "merovance-settings 1\n"
                                    "dword \"showWelcomeHint\" 1\n"
                                    "sz \"PresetFolder\" \"/mine/\"\n");
    UserSettingsStorage storage;
    FakePresetFolder folder;
    PluginStorage::install(&storage);
    MainPresetFolder::install(&folder);
    GlobalSettings& settings = GlobalSettings::shared();
    settings.showWelcomeHint.set(false);

    {
        auto first = std::make_unique<MinimalPlugin>();
        EXPECT_TRUE(settings.showWelcomeHint.get());
        EXPECT_EQ(folder.path, "/mine/");

        settings.savePresetItemEnabled.set(true);
        folder.path = "/changed/";
        auto second = std::make_unique<MinimalPlugin>();
        first.reset();
        EXPECT_EQ(SettingsStore::load(store.string()).size(), 2u); // not yet written
    }

    SettingsStore::Values written = SettingsStore::load(store.string());
    EXPECT_EQ(written.size(), 6u);
    EXPECT_EQ(written["SavePresetItemEnabled"], SettingsStore::Value(SettingsStore::Dword(1)));
    EXPECT_EQ(written["PresetFolder"], SettingsStore::Value(SettingsStore::Text("/changed/")));

    PluginStorage::install(nullptr);
    MainPresetFolder::install(nullptr);
    settings.savePresetItemEnabled.set(false);
    settings.showWelcomeHint.set(false);
}
