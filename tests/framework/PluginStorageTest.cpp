#include "MemorySettings.h"
#include "TestPlugin.h"

#include "framework/GlobalSettings.h"
#include "framework/MidiControllerMap.h"
#include "framework/PluginStorage.h"
#include "framework/ProgramTable.h"
#include "framework/SettingSerializer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace testplugin;

namespace {

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
    bool readPreset(GenericPlugin& p, const std::string&, std::vector<float>& values) override
    {
        values.assign(static_cast<std::size_t>(p.getParameterCount()), 0.0f);
        values[0] = 0.75f;
        return true;
    }
    void loadMidiControllerMap(MidiControllerMap& map) override { map.assign(9, 4); }
    // Program 0 is "Dark" (P2 at 0.25); program 1 names a file that could
    // not be read; reading the list again gives "Bright" (P2 at 0.5).
    std::shared_ptr<const ProgramTable> programTable(GenericPlugin& p) override
    {
        log.push_back("programs");
        auto table = std::make_shared<ProgramTable>();
        ProgramRecord record{programName, "/stored/" + programName + ".mvp",
                             std::vector<float>(static_cast<std::size_t>(p.getParameterCount()), 0.0f)};
        record.values[2] = programName == "Dark" ? 0.25f : 0.5f;
        table->records = {record, ProgramRecord{"Broken", "/stored/Broken.mvp", {}}};
        return table;
    }
    std::string programName = "Dark";
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
        EXPECT_EQ(storage.log, (std::vector<std::string>{"read", "programs", "programs"}));
        EXPECT_EQ(folder.path, "/stored/");
        EXPECT_TRUE(GlobalSettings::shared().showWelcomeHint.get());
        EXPECT_EQ(GenericPlugin::getSharedControllerMap()->get(9), 4);

        CountingAdapter adapter;
        CountingListener listener;
        first.setAdapter(&adapter);
        first.setListener(&listener);
        first.parameter(1).setValue(0.5f, 0);
        EXPECT_TRUE(first.loadPreset("/stored/Bright Pad.mvp"));
        EXPECT_EQ(first.getPresetState().getName(), "Bright Pad");
        EXPECT_EQ(first.getPresetState().getLocation(), "/stored/Bright Pad.mvp");
        EXPECT_FALSE(first.getPresetState().isModified());
        EXPECT_EQ(adapter.presets, 1);
        EXPECT_EQ(listener.lastMask, GenericPlugin::presetChangedMask);
        EXPECT_FALSE(first.savePreset("/x.mvp")); // the storage cannot save

        // A program change from MIDI switches the values on the audio
        // thread; the preset's name and the notices follow off it.
        first.parameter(1).setValue(0.5f, 0);
        EXPECT_FALSE(first.needsControlThread());
        first.queueMidiEvent(3, 0xC0, 0, 0);
        first.queueMidiEvent(5, 0xC0, 1, 0); // unreadable: nothing
        first.queueMidiEvent(6, 0xB0, 0, 1); // bank 128: nothing there
        first.queueMidiEvent(7, 0xC0, 0, 0);
        first.process(nullptr, 0, nullptr, 0, 16);
        EXPECT_EQ(first.parameter(2).getValue(), 0.25f);
        EXPECT_EQ(first.parameter(1).getValue(), 0.0f);
        EXPECT_EQ(first.getPresetState().getName(), "Bright Pad");
        EXPECT_FALSE(first.getPresetState().isModified());
        EXPECT_TRUE(first.getPresetState().modified.get());
        EXPECT_TRUE(first.needsControlThread());
        first.deliverPendingNotifications();
        EXPECT_EQ(first.getPresetState().getName(), "Dark");
        EXPECT_EQ(first.getPresetState().getLocation(), "/stored/Dark.mvp");
        EXPECT_FALSE(first.getPresetState().modified.get());
        EXPECT_EQ(adapter.presets, 2);
        EXPECT_EQ(listener.lastMask, GenericPlugin::presetChangedMask);
        // A new list of presets is read by the next control-thread call.
        storage.programName = "Bright";
        PluginStorage::programListChanged();
        EXPECT_TRUE(first.needsControlThread());
        first.serviceControlThread();
        EXPECT_FALSE(first.needsControlThread());
        first.programChange(0, 0);
        EXPECT_EQ(first.parameter(2).getValue(), 0.5f);
        EXPECT_EQ(first.getPresetState().getName(), "Bright");
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
