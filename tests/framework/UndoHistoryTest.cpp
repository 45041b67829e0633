#include "TestPlugin.h"

#include "AllocationCounter.h"
#include "framework/CompareStates.h"
#include "framework/StateRecord.h"
#include "framework/UndoHistory.h"

#include <gtest/gtest.h>

using namespace testplugin;

namespace {
void setAll(TestPlugin& p, float v)
{
    for (int i = 0; i < 4; ++i)
        p.parameter(i).setValue(v, 0);
}
} // namespace

TEST(UndoHistory, UndoRedoWalkTheSnapshotsAndAPushDropsTheRedoSteps)
{
    TestPlugin plugin(4);
    auto& history = *plugin.getUndoHistory();
    history.updateCurrent(); // nothing to update before the first snapshot
    EXPECT_FALSE(history.canUndo());
    history.pushInitial();
    EXPECT_EQ(history.current().name, "Initial state");
    history.pushInitial(); // only into a fresh history
    EXPECT_EQ(history.getPosition(), 1);
    EXPECT_FALSE(history.canUndo());
    for (int step = 1; step <= 3; ++step) {
        setAll(plugin, 0.1f * static_cast<float>(step));
        history.push("");
    }
    CountingAdapter adapter;
    plugin.setAdapter(&adapter);
    for (int i = 0; i < 4; ++i)
        history.undo();
    EXPECT_EQ(plugin.parameter(2).getValue(), 0.0f);
    EXPECT_EQ(adapter.calls, 3); // one notification per step, for all parameters
    EXPECT_EQ(adapter.allCalls, 3);
    EXPECT_FALSE(history.canUndo());
    EXPECT_TRUE(plugin.getCompareStates()->wasChangedByUndo());
    history.redo();
    EXPECT_FLOAT_EQ(plugin.parameter(2).getValue(), 0.1f);
    EXPECT_EQ(history.getRedoCount(), 2);
    setAll(plugin, 0.9f);
    history.push("");
    EXPECT_FALSE(history.canRedo());
    history.undo();
    EXPECT_FLOAT_EQ(plugin.parameter(0).getValue(), 0.1f);
    plugin.setAdapter(nullptr);
}

TEST(UndoHistory, TheRingKeepsNinetyNineStepsAndPushingAllocatesNothing)
{
    TestPlugin plugin(4);
    auto& history = *plugin.getUndoHistory();
    plugin.getPresetState().setName("A preset name longer than any small buffer");
    std::size_t allocations = 0;
    for (int step = 1; step <= 150; ++step) {
        plugin.parameter(0).setValue(static_cast<float>(step) / 1000.0f, 0);
        testsupport::AllocationScope scope;
        history.push("");
        if (step > 100) // every record has been filled once
            allocations += scope.count();
    }
    if (testsupport::allocationCountingAvailable()) {
        EXPECT_EQ(allocations, 0u);
    }
    EXPECT_EQ(history.getUndoCount(), 99);
    int undone = 0;
    while (history.canUndo()) {
        history.undo();
        ++undone;
    }
    EXPECT_EQ(undone, 99);
    EXPECT_FLOAT_EQ(plugin.parameter(0).getValue(), 51.0f / 1000.0f);
    history.undo();
    EXPECT_FLOAT_EQ(plugin.parameter(0).getValue(), 51.0f / 1000.0f);
}

TEST(UndoHistory, SnapshotsRestorePresetStateAndToleratesShortRecords)
{
    TestPlugin plugin(4);
    CountingListener listener;
    plugin.setListener(&listener);
    setAll(plugin, 0.5f);
    StateRecord record;
    plugin.getPresetState().setPlace("Warm", "/presets/Warm.mvp");
    plugin.getPresetState().setModified(false);
    plugin.saveState(record);
    EXPECT_EQ(record.values.size(), static_cast<std::size_t>(plugin.getParameterCount()));
    EXPECT_FALSE(record.modified.get());

    plugin.getPresetState().setName("Other");
    setAll(plugin, 0.8f);
    record.values.resize(2); // an older, shorter snapshot
    listener.calls = 0;
    plugin.loadState(record);
    EXPECT_EQ(plugin.parameter(1).getValue(), 0.5f);
    EXPECT_EQ(plugin.parameter(2).getValue(), 0.8f);
    EXPECT_EQ(plugin.getPresetState().getName(), "Warm");
    EXPECT_FALSE(plugin.getPresetState().isModified());
    EXPECT_EQ(listener.calls, 2); // the values once, then the preset's name
    EXPECT_EQ(listener.lastMask, GenericPlugin::presetChangedMask);
    plugin.setListener(nullptr);
}
