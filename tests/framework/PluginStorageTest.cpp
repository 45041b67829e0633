#include "TestPlugin.h"

#include "framework/GlobalSettings.h"
#include "framework/MidiControllerMap.h"
#include "framework/PluginStorage.h"
#include "framework/SettingSerializer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace testplugin;

namespace {

// Settings kept in memory as text.
struct MemorySerializer final : SettingSerializer {
    explicit MemorySerializer(std::map<std::string, std::string>& s, bool w) : store(s), writing(w) {}
    bool isWriting() const override { return writing; }
    void serializeBinary(const std::string&, std::vector<std::uint8_t>&) override {}
    std::string serializeString(const std::string& name, const std::string& value,
                                const std::string& def) override
    {
        if (writing)
            return store[name] = value;
        auto it = store.find(name);
        return it == store.end() ? def : it->second;
    }
    std::map<std::string, std::string>& store;
    bool writing;
};

struct MemoryStorage final : PluginStorage {
    std::map<std::string, std::string> settings;
    std::vector<std::string> log;
    void readUserSettings(GenericPlugin& p) override
    {
        log.push_back("read");
        MemorySerializer reader(settings, false);
        p.serializeSettings(reader);
    }
    void writeUserSettings(GenericPlugin& p) override
    {
        log.push_back("write");
        MemorySerializer writer(settings, true);
        p.serializeSettings(writer);
    }
    bool loadPreset(GenericPlugin& p, const std::string&) override
    {
        GenericPlugin::Batch batch(p);
        p.getParameter(0)->setValue(0.75f, 0);
        return true;
    }
    void loadMidiControllerMap(MidiControllerMap& map) override { map.assign(9, 4); }
    bool loadProgram(GenericPlugin&, int bank, int program) override
    {
        log.push_back("program " + std::to_string(bank) + "/" + std::to_string(program));
        return true;
    }
};

struct Folder final : MainPresetFolder {
    std::string path = "/home/u/Presets/";
    std::string getPath() const override { return path; }
    std::string getDefaultPath() const override { return "/default/"; }
    void setPath(const std::string& p) override { path = p; }
};

} // namespace

TEST(PluginStorage, SettingsPresetsAndTheControllerMapGoThroughTheInstalledStorage)
{
    MemoryStorage storage;
    Folder folder;
    storage.settings["PresetFolder"] = "/stored/";
    storage.settings["showWelcomeHint"] = "1";
    PluginStorage::install(&storage);
    MainPresetFolder::install(&folder);
    {
        TestPlugin first;
        TestPlugin second;
        EXPECT_EQ(storage.log, std::vector<std::string>{"read"});
        EXPECT_EQ(folder.path, "/stored/");
        EXPECT_TRUE(GlobalSettings::shared().showWelcomeHint.get());
        EXPECT_EQ(GenericPlugin::getSharedControllerMap()->get(9), 4);

        CountingAdapter adapter;
        CountingListener listener;
        first.setAdapter(&adapter);
        first.setListener(&listener);
        first.parameter(1).setValue(0.5f, 0);
        EXPECT_TRUE(first.loadPreset("/stored/Bright Pad.mvp"));
        EXPECT_EQ(first.getPresetState().name, "Bright Pad");
        EXPECT_EQ(first.getPresetState().location, "/stored/Bright Pad.mvp");
        EXPECT_FALSE(first.getPresetState().isModified());
        EXPECT_EQ(adapter.presets, 1);
        EXPECT_EQ(listener.lastMask, GenericPlugin::presetChangedMask);
        EXPECT_FALSE(first.savePreset("/x.mvp")); // the storage cannot save

        // A program change from MIDI waits for a control thread.
        first.queueMidiEvent(0, 0xB0, 0, 1);
        first.queueMidiEvent(0, 0xC0, 2, 0);
        first.process(nullptr, 0, nullptr, 0, 16);
        EXPECT_EQ(storage.log.size(), 1u);
        EXPECT_TRUE(first.handlePendingProgramChange());
        EXPECT_EQ(storage.log.back(), "program 128/2");
        EXPECT_FALSE(first.handlePendingProgramChange());
        first.setListener(nullptr);
        folder.path = "/changed/";
    }
    EXPECT_EQ(storage.log.back(), "write");
    EXPECT_EQ(storage.settings["PresetFolder"], "/changed/");
    PluginStorage::install(nullptr);
    MainPresetFolder::install(nullptr);

    // Without storage nothing is read, written or loaded.
    TestPlugin alone;
    EXPECT_FALSE(alone.loadPreset("/stored/Bright Pad.mvp"));
    EXPECT_EQ(GenericPlugin::getSharedControllerMap()->get(9), -1);
    GlobalSettings::shared().showWelcomeHint.set(false);
}
