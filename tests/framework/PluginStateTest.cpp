#include "AllocationCounter.h"
#include "TestPlugin.h"
#include "framework/Activatable.h"
#include "framework/CompareStates.h"
#include "framework/PluginStorage.h"
#include "framework/ProgramTable.h"
#include "framework/SourceParameterSetList.h"
#include "framework/StateRecord.h"
#include "framework/TargetParameterSetList.h"
#include "framework/UndoHistory.h"
#include "wave/Source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

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

// Presets and programs through the installed storage. (Settings and the
// controller map through the real storage: tests/persistence.)
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

namespace {

// Two parameters per set: "<name> A" (default 0.1) and "<name> B" (default 0.2).
class TwoValueSet final : public PluginParameterSet {
public:
    TwoValueSet(GenericPlugin& owner, int index)
        : PluginParameterSet(owner), a(this, "Set " + std::to_string(index + 1) + " A"),
          b(this, "Set " + std::to_string(index + 1) + " B")
    {
    }
    void configureParameters() override
    {
        a.setDefault(0.1f);
        b.setDefault(0.2f);
        a.resetToDefault();
        b.resetToDefault();
    }
    FloatPluginParameter a;
    FloatPluginParameter b;
};

class ListPlugin final : public testplugin::TestPlugin {
public:
    ListPlugin() : TestPlugin(1), filters(*this, "Filters", 4, 0, 4), sources(*this, "XLFOs", 4, 10, 20, 1)
    {
        filters.configureSets();
        sources.configureSets();
        filters.setActiveRange(1, 4, 3);
        sources.setActiveRange(0, 4, 3);
    }

    TargetParameterSetList<TwoValueSet> filters;
    SourceParameterSetList<TwoValueSet> sources;
};

void setValues(TwoValueSet& s, float a, float b)
{
    s.a.setValue(a, 0);
    s.b.setValue(b, 0);
}

// The A and B values of all four sets, active or not.
std::vector<float> values(TargetParameterSetList<TwoValueSet>& list)
{
    std::vector<float> v;
    for (int i = 0; i < 4; ++i)
        v.insert(v.end(), {list[i].a.getValue(), list[i].b.getValue()});
    return v;
}

} // namespace

// What removing does to the modulation slots is checked with the real
// matrix (ModulationMatrixPluginTest), inserting and removing through the
// editor's step and filter commands; here the values and the batch.
TEST(ParameterSetList, SectionOrderAndRemovingASetMovesTheValuesInOneBatch)
{
    ListPlugin plugin;
    // A section preset holds the count, then every set in order: files of
    // earlier versions depend on it.
    plugin.addComponentKind(0, 1);
    plugin.addToComponent(0, 0, plugin.filters);
    const auto& component = plugin.getComponentParameters(0, 0);
    ASSERT_EQ(component.size(), 9u);
    EXPECT_EQ(component[0], &plugin.filters.getNumActiveParameter());
    EXPECT_EQ(component[3], &plugin.filters[1].a);
    testplugin::CountingAdapter adapter;
    plugin.setAdapter(&adapter);
    setValues(plugin.filters[0], 0.3f, 0.6f);
    setValues(plugin.filters[1], 0.4f, 0.7f);
    setValues(plugin.filters[2], 0.5f, 0.8f);
    adapter.calls = 0;

    plugin.filters.removeSet(1);
    EXPECT_EQ(plugin.filters.getNumActive(), 2);
    // The set that fell off the end is back to its defaults.
    EXPECT_EQ(values(plugin.filters), (std::vector<float>{0.3f, 0.6f, 0.5f, 0.8f, 0.1f, 0.2f, 0.1f, 0.2f}));
    EXPECT_EQ(adapter.calls, 1);
    EXPECT_EQ(adapter.lastIndex, -1);

    // Beyond the active sets, or at the minimum: nothing at all.
    plugin.filters.removeSet(2);
    plugin.filters.removeSet(0);
    adapter.calls = 0;
    plugin.filters.removeSet(0);
    EXPECT_EQ(plugin.filters.getNumActive(), 1);
    EXPECT_EQ(adapter.calls, 0);
    plugin.setAdapter(nullptr);

    // A source list may go down to none.
    for (int i = 0; i < 4; ++i)
        plugin.sources.removeSet(0);
    EXPECT_EQ(plugin.sources.getNumActive(), 0);
}

namespace {
struct Counter final : wave::Source {
    using wave::Source::Source;
    int process(wave::Block& b, int n, int) override
    {
        ++runs;
        b.fill(0.0f, 0, n);
        return n;
    }
    int runs = 0;
};
} // namespace

TEST(ParameterSetList, GraphNodesFollowTheActiveCountOnTheAudioThread)
{
    ListPlugin plugin;
    wave::Graph& graph = plugin.getGraph();
    std::vector<std::unique_ptr<Counter>> nodes;
    std::vector<std::unique_ptr<Activatable>> elements;
    std::vector<Activatable*> group;
    for (int i = 0; i < 4; ++i) {
        nodes.push_back(std::make_unique<Counter>(graph));
        elements.push_back(std::make_unique<Activatable>(*nodes.back(), true, true));
        group.push_back(elements.back().get());
    }
    plugin.filters.registerActivatables(group);
    // Nodes that put themselves in the reset list when built, with elements
    // that manage only their run-list place: they stay resettable throughout.
    std::vector<std::unique_ptr<Counter>> resettable;
    std::vector<Activatable*> runOnly;
    for (int i = 0; i < 4; ++i) {
        resettable.push_back(std::make_unique<Counter>(graph));
        graph.addToResetList(*resettable.back());
        elements.push_back(
            std::make_unique<Activatable>(*resettable.back(), true, false));
        runOnly.push_back(elements.back().get());
    }
    plugin.filters.registerActivatables(runOnly);
    plugin.applyAllParameters(); // three filters active
    EXPECT_TRUE(elements[2]->isLive());
    EXPECT_FALSE(elements[3]->isLive());
    EXPECT_EQ(graph.getResetList().size(), 3u + 4u);
    EXPECT_TRUE(resettable[3]->isInResetList());
    EXPECT_FALSE(resettable[3]->isInRunList());

    plugin.filters.removeSet(0);
    EXPECT_TRUE(elements[2]->isLive()); // not before the next block
    plugin.process(nullptr, 0, nullptr, 0, 64);
    EXPECT_FALSE(elements[2]->isLive());
    EXPECT_FALSE(nodes[2]->isActive());
    EXPECT_EQ(nodes[2]->runs, 0);
    EXPECT_EQ(nodes[1]->runs, 1);
    EXPECT_EQ(graph.getResetList().size(), 2u + 4u);
    EXPECT_FALSE(resettable[2]->isInRunList());
    auto runList = graph.getRunList();
    EXPECT_EQ(std::count(runList.begin(), runList.end(), nodes[2].get()), 0);
    plugin.filters.insertSet(1);
    plugin.process(nullptr, 0, nullptr, 0, 64);
    EXPECT_EQ(nodes[2]->runs, 1);
    // Elements are torn down before their nodes.
    elements.clear();
}
