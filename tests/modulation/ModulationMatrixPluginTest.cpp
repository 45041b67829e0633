#include "modulation/ModulationMatrixPlugin.h"
#include "MatrixTestPlugin.h"
#include "modulation/ModulationSlotParameterSet.h"

#include <gtest/gtest.h>

#include <atomic>

using matrixtest::expectRecordsMatchParameters;
using matrixtest::MatrixTestPlugin;

namespace {

constexpr int XLFO1 = 0, XLFO2 = 1, XLFO3 = 2, EG1 = 6, EF1 = 12;

struct CountingListener final : GenericPlugin::Listener {
    std::atomic<int> calls{0};
    std::atomic<int> lastIndex{-2};
    void changed(unsigned, int index) override
    {
        ++calls;
        lastIndex = index;
    }
};

} // namespace

// (The host order, the source and target names and the empty slot's texts
// are the effect's and the editor's tests'.)
TEST(ModulationMatrixPlugin, SlotParametersTextsAndValues)
{
    MatrixTestPlugin plugin;
    ModulationSlotParameterSetList& list = plugin.slots();
    ModulationSlotParameterSet& slot = list[3];
    EXPECT_EQ(slot.source.valueToText(26), "MIDI Source 10");
    EXPECT_EQ(slot.target.getOptionNames().size(), 96u);
    EXPECT_EQ(slot.bypass.valueToText(1), "Bypassed");

    // The plug-in's own names are shared by every slot; a name with a comma
    // cannot become an option list, but the text still shows it.
    list.setSourceNames({"< Source >", "Wobble, slow"});
    EXPECT_EQ(list[0].source.valueToText(1), "Wobble, slow");
    EXPECT_EQ(list[9].source.valueToText(1), "Wobble, slow");
    EXPECT_TRUE(list[9].source.getOptionNames().empty());
    EXPECT_EQ(list[9].source.valueToText(2), "2");

    // Values reach the matrix with the next block: stored one higher.
    slot.source.setValue(7, 0);
    slot.target.setValue(1, 0);
    slot.level.setValue(0.25f, 0);
    slot.invert.setValue(1, 0);
    EXPECT_EQ(plugin.matrix->getSlot(3).source, -1);
    plugin.runBlock();
    const ModulationMatrix::Slot& record = plugin.matrix->getSlot(3);
    EXPECT_EQ(record.source, 6);
    EXPECT_EQ(record.target, 0);
    EXPECT_TRUE(record.inverted);
    EXPECT_TRUE(plugin.matrix->isSlotValid(3));
    EXPECT_EQ(plugin.matrix->getTargetEntry(74).base, 0.25f);
    EXPECT_EQ(plugin.matrix->getSlotDepth(3), -10.0f);
    slot.bypass.setValue(1, 0);
    plugin.runBlock();
    EXPECT_TRUE(record.bypassed);
    EXPECT_FALSE(plugin.matrix->isSlotValid(3));
}

TEST(ModulationMatrixPlugin, NewConnectionsFillTheNextSlotUntilNoneIsFree)
{
    MatrixTestPlugin plugin;
    CountingListener listener;
    plugin.setListener(&listener);
    std::string message;

    EXPECT_EQ(plugin.addConnection(EG1, 0, &message), 0);
    // One batch: the listener heard of all changes at once.
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(listener.lastIndex, -1);
    EXPECT_EQ(plugin.slots().getNumActive(), 1);
    EXPECT_EQ(plugin.params().getSource(0), EG1);
    EXPECT_EQ(plugin.params().getTarget(0), 0);
    EXPECT_EQ(plugin.params().getLevel(0), ModulationMatrixPlugin::newConnectionLevel);
    plugin.runBlock();
    expectRecordsMatchParameters(plugin);
    EXPECT_TRUE(plugin.matrix->isSlotValid(0));

    for (int i = 1; i < 24; ++i)
        EXPECT_EQ(plugin.addConnection(XLFO1, i % 16, &message), i);
    EXPECT_TRUE(message.empty());
    EXPECT_EQ(plugin.addConnection(EF1, 3, &message), -1);
    EXPECT_EQ(message, "No free slots are available. Clear one or more slots and try again.");
    EXPECT_EQ(plugin.slots().getNumActive(), 24);
    EXPECT_EQ(plugin.params().getSource(23), XLFO1);
    EXPECT_EQ(plugin.getSourceLevel(XLFO1), 0.0f);
    plugin.setListener(nullptr);
}

TEST(ModulationMatrixPlugin, RemovingSetsClearsAndRenumbersSlots)
{
    // Filters: three active; slots on filter 1, 2 and 3.
    MatrixTestPlugin plugin;
    auto& c = plugin.params();
    plugin.filters.setActiveRange(1, 4, 3);
    c.connect(0, XLFO1, 0, false, false, 0.5f);  // filter 1 freq
    c.connect(1, XLFO1, 4, false, false, 0.5f);  // filter 2 freq
    c.connect(2, EG1, 10, false, false, 0.5f);   // filter 3 peak
    c.connect(3, XLFO2, 72, false, false, 0.5f); // slot 1's level
    c.connect(4, EF1, 66, false, false, 0.5f);   // beyond the filters
    plugin.filters[1][0].setValue(3.0f, 0);
    plugin.filters[2][2].setValue(0.75f, 0);
    plugin.runBlock();
    plugin.filters.removeSet(1);
    EXPECT_EQ(plugin.filters.getNumActive(), 2);
    // Modulation of filter 2 is gone with it (with the slot on its level);
    // filter 3's moved to filter 2 with its value.
    EXPECT_EQ(c.getTarget(1), -1);
    EXPECT_EQ(c.getTarget(3), -1);
    EXPECT_EQ(c.getTarget(0), 0);
    EXPECT_EQ(c.getTarget(2), 6);
    EXPECT_EQ(c.getTarget(4), 66);
    EXPECT_EQ(plugin.filters[1][2].getValue(), 0.75f);
    plugin.runBlock();
    expectRecordsMatchParameters(plugin);
    EXPECT_TRUE(plugin.matrix->isSlotValid(2));
    EXPECT_EQ(plugin.matrix->getTargetEntry(6).base, 0.75f);

    // Sources: removing XLFO 2 drops its slots and those on its own
    // targets, and XLFO 3 becomes XLFO 2 with its slots and its targets.
    MatrixTestPlugin sources;
    auto& s = sources.params();
    sources.xlfos.setActiveRange(0, 6, 3);
    s.connect(0, XLFO2, 0, false, false, 0.5f);
    s.connect(1, XLFO3, 4, false, false, 0.5f);
    s.connect(2, EG1, 19, false, false, 0.5f); // XLFO 2 freq
    s.connect(3, EG1, 24, false, false, 0.5f); // XLFO 3 glide
    s.connect(4, EF1, 0, false, false, 0.5f);
    s.connect(5, XLFO1, 1, false, false, 0.5f); // before the removed one
    sources.runBlock();
    sources.xlfos.removeSet(1);
    EXPECT_EQ(s.getSource(0), -1);
    EXPECT_EQ(s.getSource(2), -1);
    EXPECT_EQ(s.getSource(1), XLFO2);
    EXPECT_EQ(s.getTarget(1), 4);
    EXPECT_EQ(s.getTarget(3), 21);
    EXPECT_EQ(s.getSource(3), EG1); // the next list's sources keep their numbers
    EXPECT_EQ(s.getSource(4), EF1);
    EXPECT_EQ(s.getSource(5), XLFO1);
    sources.runBlock();
    expectRecordsMatchParameters(sources);
    for (int i : {1, 3, 4})
        EXPECT_TRUE(sources.matrix->isSlotValid(i)) << i;

    // Slots: removing slot 1 drops what modulated its level; the later
    // slots move down and the slot on slot 2's level follows it to 1.
    MatrixTestPlugin slots;
    auto& l = slots.params();
    slots.slots().setActiveRange(0, 24, 5);
    l.connect(0, XLFO1, 0, false, false, 0.1f);
    l.connect(1, EG1, 1, false, false, 0.2f);
    l.connect(2, EF1, 2, false, false, 0.3f);
    l.connect(3, XLFO2, 73, false, false, 0.4f);
    l.connect(4, XLFO3, 72, false, false, 0.5f);
    slots.runBlock();
    slots.slots().removeSet(1);
    EXPECT_EQ(slots.slots().getNumActive(), 4);
    EXPECT_EQ(l.getSource(1), EF1);
    EXPECT_EQ(l.getLevel(1), 0.3f);
    EXPECT_EQ(l.getSource(2), XLFO2);
    EXPECT_EQ(l.getTarget(2), 72);
    EXPECT_EQ(l.getSource(3), -1);
    EXPECT_EQ(l.getSource(4), -1);
    slots.runBlock();
    expectRecordsMatchParameters(slots);
    EXPECT_TRUE(slots.matrix->isSlotValid(2));
    EXPECT_EQ(slots.matrix->getSlotDepth(2), slots.matrix->getSlotDepth(1) * 1.0f);
}
