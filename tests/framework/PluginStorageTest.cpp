// Presets and programs through the installed storage. (Settings and the
// controller map through the real storage: tests/persistence.)
#include "TestPlugin.h"

#include "framework/PluginStorage.h"
#include "framework/ProgramTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testplugin;

namespace {

struct MemoryStorage final : PluginStorage {
    bool readPreset(GenericPlugin& p, const std::string&, std::vector<float>& values) override
    {
        values.assign(static_cast<std::size_t>(p.getParameterCount()), 0.0f);
        values[0] = 0.75f;
        return true;
    }
    // Program 0 is "Dark" (P2 at 0.25); program 1 names a file that could
    // not be read; reading the list again gives "Bright" (P2 at 0.5).
    std::shared_ptr<const ProgramTable> programTable(GenericPlugin& p) override
    {
        ++tablesRead;
        auto table = std::make_shared<ProgramTable>();
        ProgramRecord record{programName, "/stored/" + programName + ".mvp",
                             std::vector<float>(static_cast<std::size_t>(p.getParameterCount()), 0.0f)};
        record.values[2] = programName == "Dark" ? 0.25f : 0.5f;
        table->records = {record, ProgramRecord{"Broken", "/stored/Broken.mvp", {}}};
        return table;
    }
    std::string programName = "Dark";
    int tablesRead = 0;
};

} // namespace

TEST(PluginStorage, PresetsAndProgramsGoThroughTheInstalledStorage)
{
    MemoryStorage storage;
    PluginStorage::install(&storage);
    {
        TestPlugin first;
        TestPlugin second;
        EXPECT_EQ(storage.tablesRead, 2);
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
    }
    PluginStorage::install(nullptr);
    // Without storage no preset loads.
    EXPECT_FALSE(TestPlugin().loadPreset("/stored/Bright Pad.mvp"));
}
