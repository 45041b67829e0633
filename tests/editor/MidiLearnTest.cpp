// MIDI learn in the editor, fed synthetic input and MIDI through the
// plug-in's own input: the mode dims all but the learnable controls, a click
// chooses one, a controller moved completes the association (in every
// instance), and the MIDI menu saves the associations to the controller map
// file and reverts to it.
#include "ModulationRig.h"

#include "editor/EditorButton.h"
#include "editor/EditorTopBar.h"
#include "editor/FilterPanel.h"
#include "editor/ParameterKnob.h"
#include "editor/modulation/MidiLearnController.h"
#include "framework/MidiControllerMap.h"
#include "gui/Bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

using editortest::ModulationRig;

namespace {

std::filesystem::path mapFile()
{
    return std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "Merovance/Ostrand 2/MidiControllerMap.mvm";
}

// The controller map file as another program reads it: "MVCM", version,
// then 127 little-endian int32 entries.
std::vector<std::int32_t> readMapFile()
{
    std::ifstream in(mapFile(), std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.size() != 8 + 4 * 127 || std::string(bytes.begin(), bytes.begin() + 4) != "MVCM")
        return {};
    std::vector<std::int32_t> entries;
    for (std::size_t i = 8; i < bytes.size(); i += 4)
        entries.push_back(static_cast<std::int32_t>(bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 |
                                                    static_cast<std::uint32_t>(bytes[i + 3]) << 24));
    return entries;
}

void controlChange(ModulationRig& rig, OstrandPlugin& plugin, int controller, int value)
{
    plugin.queueMidiEvent(0, 0xB0, controller, value);
    std::vector<float> in(64), out(64);
    const float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {out.data(), out.data()};
    plugin.process(inputs, 2, outputs, 2, 64);
    rig.editor.refresh();
}

} // namespace

TEST(MidiLearn, AControlClickedInLearnModeLearnsTheNextControllerForEveryInstance)
{
    ModulationRig rig;
    MidiLearnController& learn = rig.area().midiLearn();
    EditorButton& button = rig.editor.topBar().learn;
    ParameterKnob& freq = *rig.editor.filterPanel().freq;
    const int freqIndex = rig.filter(0).freq.getIndex();
    rig.set(rig.plugin.xlfos.getNumActiveParameter(), 3.0f);
    rig.area().showSource(0, false);

    const gui::Point field{320, 150};
    const gui::Point knob = ModulationRig::centreOf(freq);
    const gui::Bitmap& screen = rig.ui.render();
    const gui::Pixel fieldBefore = screen.pixelAt(field.x, field.y), knobBefore = screen.pixelAt(knob.x, knob.y);

    rig.click(ModulationRig::centreOf(button));
    ASSERT_TRUE(learn.active());
    EXPECT_TRUE(button.lit.get());
    EXPECT_EQ(learn.status(), MidiLearnController::clickText);
    // Everything is dimmed but the learnable controls.
    rig.ui.render();
    EXPECT_LT(gui::greenOf(screen.pixelAt(field.x, field.y)), gui::greenOf(fieldBefore));
    EXPECT_EQ(screen.pixelAt(knob.x, knob.y), knobBefore);
    // Only what is in view learns: XLFO 1's knobs, not XLFO 3's, which
    // are scrolled out of the strip; and the two link items.
    auto learnable = [&](int id) {
        return std::any_of(learn.learnables().begin(), learn.learnables().end(),
                           [id](const MidiLearnController::Learnable& l) { return l.id == id; });
    };
    EXPECT_TRUE(learnable(freqIndex));
    EXPECT_TRUE(learnable(rig.plugin.xlfos[0].frequency.getIndex()));
    EXPECT_FALSE(learnable(rig.plugin.xlfos[2].frequency.getIndex()));
    EXPECT_TRUE(learnable(rig.plugin.getLinkFreq().getIndex()));
    EXPECT_EQ(learn.controllerOf(freqIndex), -1);

    // Click the knob, move controller 7: it moves Filter 1 Freq from now
    // on, here and in another instance.
    rig.click(knob);
    ASSERT_NE(learn.selected(), nullptr);
    EXPECT_EQ(learn.selected()->id, freqIndex);
    EXPECT_EQ(learn.status(), std::string(MidiLearnController::moveText) + " Filter 1 Freq");
    controlChange(rig, rig.plugin, 7, 127);
    rig.ui.advance(MidiLearnController::pollInterval + 1);
    EXPECT_EQ(learn.controllerOf(freqIndex), 7);
    EXPECT_EQ(learn.status(), MidiLearnController::clickText);
    controlChange(rig, rig.plugin, 7, 0);
    EXPECT_FLOAT_EQ(rig.filter(0).freq.getNormalized(), 0.0f);
    {
        OstrandPlugin other;
        controlChange(rig, other, 7, 127);
        EXPECT_FLOAT_EQ(other.filters[0].freq.getNormalized(), 1.0f);
    }

    // The linked filters' frequency has an item of its own.
    const MidiLearnController::Item link{rig.plugin.getLinkFreq().getIndex(), "", {}};
    for (const MidiLearnController::Learnable& l : learn.learnables())
        if (l.id == link.id)
            rig.click(learn.toRoot({(l.area.left + l.area.right) / 2, (l.area.top + l.area.bottom) / 2}));
    controlChange(rig, rig.plugin, 8, 50);
    EXPECT_EQ(GenericPlugin::getSharedControllerMap()->get(8), link.id);

    // The learn button still works through the overlay and leaves the mode.
    rig.click(ModulationRig::centreOf(button));
    EXPECT_FALSE(learn.active());
    EXPECT_FALSE(button.lit.get());
    rig.ui.render();
    EXPECT_EQ(screen.pixelAt(field.x, field.y), fieldBefore);
}

TEST(MidiLearn, TheMidiMenuSavesAndRevertsTheControllerMapFile)
{
    ModulationRig rig;
    MidiControllerMap& map = *GenericPlugin::getSharedControllerMap();
    const int freqIndex = rig.filter(0).freq.getIndex();
    map.assign(21, freqIndex);
    EditorButton& menuButton = rig.editor.topBar().midi;

    // "Disable", "Clear", "Revert", "Save".
    rig.click(ModulationRig::centreOf(menuButton));
    rig.chooseFromMenu(3);
    std::vector<std::int32_t> saved = readMapFile();
    ASSERT_EQ(saved.size(), 127u);
    EXPECT_EQ(saved[21], freqIndex);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), -1), 126);

    // Clear's submenu: the association, then "Clear All".
    rig.click(ModulationRig::centreOf(menuButton));
    rig.chooseFromMenu(1);
    rig.chooseFromMenu(0);
    EXPECT_EQ(map.get(21), -1);
    map.assign(30, rig.filter(0).peak.getIndex());
    // Revert brings back what the file holds, and only that.
    rig.click(ModulationRig::centreOf(menuButton));
    rig.chooseFromMenu(2);
    EXPECT_EQ(map.get(21), freqIndex);
    EXPECT_EQ(map.get(30), -1);
    std::filesystem::remove(mapFile());
}
