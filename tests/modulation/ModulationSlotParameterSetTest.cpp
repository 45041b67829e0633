#include "modulation/ModulationSlotParameterSet.h"
#include "MatrixTestPlugin.h"

#include <gtest/gtest.h>

using matrixtest::MatrixTestPlugin;

TEST(ModulationSlotParameterSet, NamesOrderOptionsAndTexts)
{
    MatrixTestPlugin plugin;
    ModulationSlotParameterSetList& list = plugin.slots();
    EXPECT_EQ(list.getName(), "Slots");
    EXPECT_EQ(list.count(), 24);
    EXPECT_EQ(list.getFirstTarget(), 71);
    EXPECT_EQ(list.getTargetsPerSet(), 1);
    EXPECT_EQ(list.getMinActive(), 0);
    EXPECT_EQ(list.getMaxActive(), 24);
    EXPECT_EQ(list.getNumActive(), 0);

    // "Num Active Slots", then five parameters per slot, in host order.
    const int first = list.getNumActiveParameter().getIndex();
    EXPECT_EQ(plugin.getParameter(first)->getName(), "Num Active Slots");
    EXPECT_EQ(first + 1 + 24 * 5, plugin.getParameterCount());
    const char* fields[] = {" Source", " Level", " Bypassed", " Inverted", " Target"};
    for (int i = 0; i < 24; ++i)
        for (int f = 0; f < 5; ++f)
            EXPECT_EQ(plugin.getParameter(first + 1 + 5 * i + f)->getName(),
                      "Slot " + std::to_string(i + 1) + fields[f]);

    ModulationSlotParameterSet& slot = list[3];
    EXPECT_EQ(slot.getSlotIndex(), 3);
    EXPECT_EQ(slot.level.getTarget(), 74);
    EXPECT_EQ(slot.source.getMax(), 26.0f);
    EXPECT_EQ(slot.target.getMax(), 95.0f);
    EXPECT_EQ(slot.level.getDefault(), 0.0f);
    EXPECT_EQ(slot.level.getMax(), 1.0f);
    EXPECT_EQ(slot.source.getText(), "< Source >");
    EXPECT_EQ(slot.target.getText(), "< Target >");
    EXPECT_EQ(slot.source.valueToText(1), "XLFO 1");
    EXPECT_EQ(slot.source.valueToText(7), "EG 1");
    EXPECT_EQ(slot.source.valueToText(26), "MIDI Source 10");
    EXPECT_EQ(slot.target.valueToText(1), "Filter 1 Freq");
    EXPECT_EQ(slot.target.valueToText(18), "XLFO 1 Offset");
    EXPECT_EQ(slot.target.valueToText(38), "EG 1 Release");
    EXPECT_EQ(slot.target.valueToText(71), "Mix");
    EXPECT_EQ(slot.target.valueToText(72), "Slot 1 Level");
    EXPECT_EQ(slot.target.getOptionNames().size(), 96u);
    EXPECT_EQ(slot.bypass.valueToText(0), "Normal");
    EXPECT_EQ(slot.bypass.valueToText(1), "Bypassed");
    EXPECT_EQ(slot.invert.valueToText(1), "Inverted");
    EXPECT_EQ(slot.level.getText(), "0.000");

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
