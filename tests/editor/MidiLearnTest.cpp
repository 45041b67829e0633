// MIDI learn in the editor, fed synthetic input and MIDI through the
// plug-in's own input: the mode dims all but the learnable controls, a click
// chooses one, a controller moved completes the association, and the MIDI
// menu clears associations and switches MIDI control off and on. (That a
// learned controller moves every instance is the LV2 UI's test.)
#include "EditorRig.h"

#include "editor/EditorButton.h"
#include "editor/EditorTopBar.h"
#include "editor/FilterPanel.h"
#include "editor/ParameterKnob.h"
#include "editor/modulation/MidiLearnController.h"
#include "framework/MidiControllerMap.h"
#include "gui/Bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>

using editortest::EditorRig;

namespace {

void controlChange(EditorRig& rig, int controller, int value)
{
    rig.plugin.queueMidiEvent(0, 0xB0, controller, value);
    rig.runAudio(1, 64);
}

} // namespace

TEST(MidiLearn, AControlClickedInLearnModeLearnsTheNextController)
{
    EditorRig rig;
    MidiLearnController& learn = rig.area().midiLearn();
    EditorButton& button = rig.editor.topBar().learn;
    ParameterKnob& freq = *rig.editor.filterPanel().freq;
    const int freqIndex = rig.filter(0).freq.getIndex();
    rig.set(rig.plugin.xlfos.getNumActiveParameter(), 3.0f);
    rig.area().showSource(0, false);

    const gui::Point field{320, 150};
    const gui::Point knob = EditorRig::centreOf(freq);
    const gui::Bitmap& screen = rig.ui.render();
    const gui::Pixel fieldBefore = screen.pixelAt(field.x, field.y), knobBefore = screen.pixelAt(knob.x, knob.y);

    rig.click(EditorRig::centreOf(button));
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

    // Click the knob, move controller 7: the status says what happens, and
    // the next control can be chosen.
    rig.click(knob);
    EXPECT_EQ(learn.status(), std::string(MidiLearnController::moveText) + " Filter 1 Freq");
    controlChange(rig, 7, 127);
    rig.ui.advance(MidiLearnController::pollInterval + 1);
    EXPECT_EQ(learn.controllerOf(freqIndex), 7);
    EXPECT_EQ(learn.status(), MidiLearnController::clickText);

    // The linked filters' frequency has an item of its own.
    const MidiLearnController::Item link{rig.plugin.getLinkFreq().getIndex(), "", {}};
    for (const MidiLearnController::Learnable& l : learn.learnables())
        if (l.id == link.id)
            rig.click(learn.toRoot({(l.area.left + l.area.right) / 2, (l.area.top + l.area.bottom) / 2}));
    controlChange(rig, 8, 50);
    EXPECT_EQ(GenericPlugin::getSharedControllerMap()->get(8), link.id);

    // The learn button still works through the overlay and leaves the mode.
    rig.click(EditorRig::centreOf(button));
    EXPECT_FALSE(learn.active());
    EXPECT_FALSE(button.lit.get());
    rig.ui.render();
    EXPECT_EQ(screen.pixelAt(field.x, field.y), fieldBefore);
}

TEST(MidiLearn, TheMidiMenuClearsOneOrEveryAssociationAndSwitchesMidiControlOff)
{
    // Save and Revert against the file are driven through the LV2 UI
    // (tests/host/lv2/Lv2ModulationUiTest.cpp).
    EditorRig rig;
    MidiControllerMap& map = *GenericPlugin::getSharedControllerMap();
    const int freqIndex = rig.filter(0).freq.getIndex(), peakIndex = rig.filter(0).peak.getIndex();
    map.assign(21, freqIndex);
    map.assign(30, peakIndex);
    const gui::Point menuButton = EditorRig::centreOf(rig.editor.topBar().midi);

    // "Disable", "Clear", "Revert", "Save"; Clear's submenu lists each
    // association, then "Clear All".
    rig.click(menuButton);
    rig.chooseFromMenu(1);
    rig.chooseFromMenu(0);
    EXPECT_EQ(map.get(21), -1);
    EXPECT_EQ(map.get(30), peakIndex);
    map.assign(21, freqIndex);
    rig.click(menuButton);
    rig.chooseFromMenu(1);
    rig.chooseFromMenu(-1);
    EXPECT_EQ(map.get(21), -1);
    EXPECT_EQ(map.get(30), -1);

    // Disabled, a learned controller moves nothing (Freq starts fully open);
    // "Enable" brings it back.
    map.assign(21, freqIndex);
    ASSERT_EQ(rig.filter(0).freq.getNormalized(), 1.0f);
    rig.click(menuButton);
    rig.chooseFromMenu(0);
    controlChange(rig, 21, 0);
    EXPECT_EQ(rig.plugin.getMidiState(), GenericPlugin::Disabled);
    EXPECT_EQ(rig.filter(0).freq.getNormalized(), 1.0f);
    rig.click(menuButton);
    rig.chooseFromMenu(0);
    controlChange(rig, 21, 0);
    EXPECT_EQ(rig.filter(0).freq.getNormalized(), 0.0f);
    map.clearAll();
}
