#include "TestPlugin.h"

#include "framework/Activatable.h"
#include "framework/SourceParameterSetList.h"
#include "framework/TargetParameterSetList.h"
#include "wave/Source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

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
