// The modulation area, fed synthetic input: sources added from the menu,
// cables dragged from a source's jack to knobs (also knobs reached by
// hovering a source's or a filter's button on the way), the limits and the
// two messages, the source bar's selector, removing sources, the slot
// area's commands, and the rings and dots that show modulation where the
// user looks.
#include "EditorRig.h"
#include "editor/EditorButton.h"
#include "editor/EditorTopBar.h"
#include "editor/FilterController.h"
#include "editor/FilterPanel.h"
#include "editor/ParameterBinding.h"
#include "editor/ParameterKnob.h"
#include "editor/SwitchControls.h"
#include "editor/modulation/MidiLearnController.h"
#include "editor/modulation/ModulatedFilterDots.h"
#include "editor/modulation/ModulationDragStage.h"
#include "editor/modulation/ModulationRing.h"
#include "editor/modulation/ModulationScrollStrip.h"
#include "editor/modulation/SlotController.h"
#include "editor/modulation/SlotInterface.h"
#include "editor/modulation/SourceDragButton.h"
#include "editor/modulation/SourceInterface.h"
#include "editor/modulation/SourceSelectionBar.h"
#include "editor/modulation/XLFOController.h"
#include "editor/modulation/XLFOSourceInterface.h"
#include "framework/MidiControllerMap.h"
#include "gui/Bitmap.h"
#include "modulation/ModMatrixParamController.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "modulation/XLFOParameterSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using editortest::EditorRig;
using StepSlider = XLFOController::StepSlider;

namespace {

ModulationSlotParameterSet& slot(EditorRig& rig, int i) { return (*rig.plugin.getSlotList())[i]; }
int slotsInUse(EditorRig& rig) { return rig.plugin.getSlotList()->getNumActive(); }

// The source's jack, its panel brought into the strip first.
gui::Point jackOf(EditorRig& rig, int source)
{
    rig.area().showSource(source, false);
    return EditorRig::centreOf(rig.area().panelOf(source).dragButton());
}

} // namespace

TEST(ModulationInterface, CablesDroppedOnKnobsMakeSlotsAndEverythingElseExplainsItself)
{
    EditorRig rig;
    // Add Source's menu: "XLFO", "Envelope Generator", ...
    for (int kind : {0, 1}) {
        rig.click(EditorRig::centreOf(rig.area().addSourceButton()));
        rig.chooseFromMenu(kind);
    }
    ASSERT_EQ(rig.plugin.egs.getNumActive(), 1);
    const int undoBefore = rig.undoCount();
    FilterPanel& filters = rig.editor.filterPanel();

    // XLFO 1 onto Filter 1 Freq: a slot at the level a new connection
    // starts with, its row sliding in, one undo step.
    rig.dragBetween(jackOf(rig, 0), {}, EditorRig::centreOf(*filters.freq));
    ASSERT_EQ(slotsInUse(rig), 1);
    EXPECT_EQ(slot(rig, 0).source.getSource(), 0);
    EXPECT_EQ(slot(rig, 0).target.getTarget(), 0);
    EXPECT_FLOAT_EQ(slot(rig, 0).level.getValue(), ModulationMatrixPlugin::newConnectionLevel);
    EXPECT_EQ(rig.area().slots().listed(), std::vector<int>{0});
    EXPECT_TRUE(rig.area().slots().row(0).arriving());
    EXPECT_EQ(rig.undoCount(), undoBefore + 1);

    // On the way to the knob, filter 2's button makes filter 2 the one
    // whose knobs show: the slot goes to Filter 2 Freq.
    rig.set(rig.plugin.filters.getNumActiveParameter(), 2.0f);
    rig.dragBetween(jackOf(rig, 0), {EditorRig::centreOf(*filters.filterButtons[1])},
                    EditorRig::centreOf(*filters.freq));
    EXPECT_EQ(rig.editor.activeFilter(), 1);
    ASSERT_EQ(slotsInUse(rig), 2);
    EXPECT_EQ(slot(rig, 1).target.getTarget(), 4);

    // Hovering EG 1's button brings its panel into the strip; its Attack
    // takes the cable (target 34), and the slot's level knob another one.
    SourceSelectionBar::SourceButton& egButton = *rig.area().bar().buttonFor(6);
    const gui::Point egCentre = EditorRig::centreOf(egButton);
    rig.root().mouseMoveAt(jackOf(rig, 0), 0);
    rig.root().mouseDownAt(gui::MouseButton::Left, jackOf(rig, 0), gui::Modifier::LeftButton);
    rig.root().mouseMoveAt(egCentre, gui::Modifier::LeftButton);
    rig.ui.advance(400);
    gui::Control* attack = nullptr;
    EditorRig::visit(rig.area().panelOf(6), [&](gui::Control& c) {
        if (auto* knob = dynamic_cast<ParameterKnob*>(&c); knob && knob->caption.get() == "ATTACK")
            attack = knob;
    });
    ASSERT_NE(attack, nullptr);
    rig.root().mouseMoveAt(EditorRig::centreOf(*attack), gui::Modifier::LeftButton);
    EXPECT_TRUE(rig.area().dragStage().snapped().has_value());
    rig.root().mouseUpAt(gui::MouseButton::Left, EditorRig::centreOf(*attack), 0);
    rig.editor.refresh();
    ASSERT_EQ(slotsInUse(rig), 3);
    EXPECT_EQ(slot(rig, 2).source.getSource(), 0);
    EXPECT_EQ(slot(rig, 2).target.getTarget(), 34);
    rig.ui.advance(600);
    rig.dragBetween(jackOf(rig, 6), {}, EditorRig::centreOf(rig.area().slots().row(0).levelKnob()));
    ASSERT_EQ(slotsInUse(rig), 4);
    EXPECT_EQ(slot(rig, 3).target.getTarget(), ModulationMatrix::firstLevelTarget);

    // A filter's button can only be hovered: a drop there explains so and
    // changes nothing; so does a drop on a source's button.
    rig.dragBetween(jackOf(rig, 0), {}, EditorRig::centreOf(*filters.filterButtons[0]));
    EXPECT_EQ(rig.message(), ModulationInterface::hoverOnlyMessage);
    rig.dismissMessage();
    EXPECT_EQ(rig.message(), "");
    EXPECT_EQ(slotsInUse(rig), 4);
    rig.dragBetween(jackOf(rig, 0), {}, EditorRig::centreOf(*rig.area().bar().buttonFor(0)));
    EXPECT_EQ(rig.message(), ModulationInterface::hoverOnlyMessage);
    rig.dismissMessage();
    // A drop on nothing in particular does nothing at all.
    rig.dragBetween(jackOf(rig, 0), {}, {320, 150});
    EXPECT_EQ(rig.message(), "");
    EXPECT_EQ(slotsInUse(rig), 4);

    // With every slot in use a drop changes nothing and says why.
    rig.set(rig.plugin.getSlotList()->getNumActiveParameter(), 24.0f);
    const int lastTarget = slot(rig, 23).target.getTarget();
    rig.dragBetween(jackOf(rig, 0), {}, EditorRig::centreOf(*filters.peak));
    EXPECT_EQ(rig.message(), ModulationMatrixPlugin::noFreeSlotsMessage);
    EXPECT_EQ(slotsInUse(rig), 24);
    EXPECT_EQ(slot(rig, 23).target.getTarget(), lastTarget);
}

TEST(ModulationInterface, TheSelectorScrollsAfterFivePixelsAndOtherwiseClicksTheButtonUnderIt)
{
    EditorRig rig;
    rig.set(rig.plugin.xlfos.getNumActiveParameter(), 3.0f);
    rig.set(rig.plugin.egs.getNumActiveParameter(), 2.0f);
    ModulationScrollStrip& strip = rig.area().strip();
    SourceSelectionBar& bar = rig.area().bar();
    // Four pixels of movement on the selector over XLFO 3's button are a
    // click on it: its panel glides to the middle.
    strip.scrollTo(500, false);
    const gui::Point at = bar.toRoot({bar.buttonFor(2)->frame().left + 3, bar.height() / 2});
    ASSERT_EQ(rig.root().controlAt(at), &bar.selector());
    rig.drag(at, {{at.x + 4, at.y}});
    rig.ui.advance(ModulationScrollStrip::glideTime + 40);
    const SourceInterface& panel = rig.area().panelOf(2);
    EXPECT_EQ(strip.scroll(), std::min(strip.maxScroll(), panel.position().x + panel.width() / 2 - strip.width() / 2));
    // Five and more drag the strip by the movement times its width over the
    // bar's, what the division leaves carried along; the selector follows.
    strip.scrollTo(200, false);
    const gui::Point grab = bar.selector().toRoot({4, 4});
    rig.drag(grab, {{grab.x + 5, grab.y}, {grab.x + 10, grab.y}, {grab.x + 15, grab.y}, {grab.x + 23, grab.y}});
    EXPECT_EQ(strip.scroll(), 200 + 23 * strip.contentWidth() / bar.usedWidth());
    EXPECT_EQ(bar.selector().frame().left, static_cast<int>(std::lround(strip.scroll() * bar.scale())));
}

TEST(ModulationInterface, RemovingASourceClearsItsSlotsAndTheLaterSourceMovesIntoItsPlace)
{
    EditorRig rig;
    rig.set(rig.plugin.xlfos.getNumActiveParameter(), 2.0f);
    for (int target : {0, 2, 3})
        rig.plugin.addConnection(0, target);
    rig.plugin.addConnection(1, 1);
    rig.set(rig.plugin.xlfos[1].balance, 0.8f);
    rig.editor.refresh();
    EXPECT_EQ(rig.area().panelOf(0).slotsButton().caption.get(), "3 slots");

    rig.click(EditorRig::centreOf(rig.area().panelOf(0).removeButton()));
    EXPECT_EQ(rig.plugin.xlfos.getNumActive(), 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(slot(rig, i).source.getSource(), -1) << "slot " << i;
    // XLFO 2 is XLFO 1 now, with its settings and its slot.
    EXPECT_EQ(slot(rig, 3).source.getSource(), 0);
    EXPECT_FLOAT_EQ(rig.plugin.xlfos[0].balance.getValue(), 0.8f);
    EXPECT_FALSE(rig.area().panelOf(1).isShown());

    // The emptied slots do nothing, and say so.
    rig.runAudio();
    EXPECT_TRUE(rig.area().slots().row(0).warningShown());
    EXPECT_FALSE(rig.area().slots().row(3).warningShown());
}

TEST(ModulationInterface, SlotAreaAddsSortsNarrowsAndRemoves)
{
    EditorRig rig;
    SlotController& slots = rig.area().slots();
    rig.set(rig.plugin.xlfos.getNumActiveParameter(), 2.0f);
    rig.plugin.addConnection(1, 2);
    rig.plugin.addConnection(0, 16); // XLFO 1 on its own frequency: never valid
    rig.plugin.addConnection(0, 0);
    rig.runAudio();
    EXPECT_TRUE(slots.row(1).warningShown());
    EXPECT_FALSE(slots.row(0).warningShown());
    // Bypassing is deliberate: no sign.
    rig.set(slot(rig, 1).bypass, 1.0f);
    rig.runAudio();
    EXPECT_FALSE(slots.row(1).warningShown());

    // Add Slot: an empty slot at the end, showing the empty texts.
    rig.click(EditorRig::centreOf(slots.addButton()));
    ASSERT_EQ(slotsInUse(rig), 4);
    rig.ui.advance(SlotInterface::arrivalTime);
    EXPECT_EQ(slots.row(3).sourceButton().choiceText(), "< Source >");
    EXPECT_EQ(slots.row(3).targetButton().choiceText(), "< Target >");
    // Its target from the menu: the first entry after "< Target >" is
    // Filter 1's submenu, whose third entry is Peak.
    rig.click(EditorRig::centreOf(slots.row(3).targetButton()));
    rig.chooseFromMenu(1);
    rig.chooseFromMenu(2);
    EXPECT_EQ(slot(rig, 3).target.getTarget(), 2);

    // Sort Slots groups by source, then target; empty sources last.
    rig.click(EditorRig::centreOf(slots.sortButton()));
    std::vector<std::pair<int, int>> order;
    for (int i = 0; i < slotsInUse(rig); ++i)
        order.emplace_back(slot(rig, i).source.getSource(), slot(rig, i).target.getTarget());
    EXPECT_EQ(order, (std::vector<std::pair<int, int>>{{0, 0}, {0, 16}, {1, 2}, {-1, 2}}));

    // Narrowed to XLFO 1 by its panel's count, then all again.
    rig.click(EditorRig::centreOf(rig.area().panelOf(0).slotsButton()));
    EXPECT_EQ(slots.listed(), (std::vector<int>{0, 1}));
    EXPECT_EQ(slots.contextBar().text(), "Slots connected to source XLFO 1");
    rig.click(EditorRig::centreOf(slots.row(0).targetButton()));
    rig.chooseFromMenu(-1);
    EXPECT_EQ(slots.contextBar().text(), "Slots connected to target Filter 1 Freq");
    EXPECT_EQ(slots.listed(), (std::vector<int>{0}));
    rig.click(EditorRig::centreOf(slots.showAllButton()));
    EXPECT_EQ(slots.listed().size(), 4u);

    // Remove Slot takes the slot out; the later ones move up.
    const int undoBefore = rig.undoCount();
    rig.click(EditorRig::centreOf(slots.row(0).removeButton()));
    EXPECT_EQ(slotsInUse(rig), 3);
    EXPECT_EQ(slot(rig, 0).target.getTarget(), 16);
    EXPECT_EQ(rig.undoCount(), undoBefore + 1);
}

TEST(ModulationInterface, ModulatedKnobsShowTheirSweepAndTheDisplayTheLiveFilter)
{
    EditorRig rig;
    FilterParameterSet& f1 = rig.filter(0);
    rig.set(f1.freq, f1.freq.denormalize(0.5f));
    rig.set(rig.plugin.xlfos.getNumActiveParameter(), 1.0f);
    // A square wave: one step up, one down, 20 Hz.
    XLFOParameterSet& lfo = rig.plugin.xlfos[0];
    rig.set(lfo.getSteps()[0].value, 1.0f);
    rig.set(lfo.getSteps()[1].value, -1.0f);
    rig.set(lfo.frequency, lfo.frequency.denormalize(0.9f));
    rig.plugin.addConnection(0, 0, nullptr, 0.5f);
    rig.runAudio(4);

    ModulationRing* ring = nullptr;
    for (ModulationRing* r : rig.area().rings())
        if (r->parent() == rig.editor.filterPanel().freq)
            ring = r;
    ASSERT_NE(ring, nullptr);
    // An XLFO at level 0.5 reaches 0.5 x 6.3 octaves either way of the
    // base; the cut-off spans 2.2666 to 16.2064 in octaves.
    const float reach = 0.5f * 6.3f / (16.2064f - 2.2666f);
    ASSERT_TRUE(ring->sweep().modulated);
    EXPECT_NEAR(ring->sweep().low, 0.5f - reach, 2e-3f);
    EXPECT_NEAR(ring->sweep().high, 0.5f + reach, 2e-3f);
    // The square wave is at one of its two values at the end of a block.
    const float live = ring->sweep().live;
    EXPECT_TRUE(std::fabs(live - (0.5f - reach)) < 2e-3f || std::fabs(live - (0.5f + reach)) < 2e-3f) << live;

    // The display shows the filter where the modulation took it.
    const ModulatedFilterDots* dots = nullptr;
    for (gui::Control* c : rig.display().children())
        if (auto* d = dynamic_cast<const ModulatedFilterDots*>(c))
            dots = d;
    ASSERT_NE(dots, nullptr);
    ASSERT_TRUE(dots->isShown(0));
    EXPECT_NEAR(dots->position(0).x, rig.display().positionOf(live, f1.peak.getNormalized()).x, 0.5f);

    // An envelope at full level adds up to 10 octaves: the sweep is held
    // at the top of the range.
    rig.set(rig.plugin.egs.getNumActiveParameter(), 1.0f);
    rig.plugin.addConnection(6, 0, nullptr, 1.0f);
    rig.runAudio();
    EXPECT_NEAR(ring->sweep().low, 0.5f - reach, 2e-3f);
    EXPECT_FLOAT_EQ(ring->sweep().high, 1.0f);
    // Without slots no ring and no second dot.
    rig.plugin.getParamController()->clearSlotsOnTarget(0);
    rig.runAudio();
    EXPECT_FALSE(ring->sweep().modulated);
    EXPECT_FALSE(dots->isShown(0));
}

// The XLFO step editor, fed synthetic clicks and drags: selection with
// Ctrl and Shift, the 2-pixel click, group drags that keep differences, the
// step interface bound to the current step and applied to all selected
// steps, random steps' hit band, and Add Step / Remove Step at their limits.

namespace {

struct StepRig : EditorRig {
    explicit StepRig(int steps)
    {
        set(plugin.xlfos.getNumActiveParameter(), 1.0f);
        set(lfo().getSteps().getNumActiveParameter(), static_cast<float>(steps));
        area().showSource(0, false);
        ui.advance(XLFOController::ResizeAnimation::duration + 20);
    }
    XLFOParameterSet& lfo() { return plugin.xlfos[0]; }
    XLFOController& steps() { return static_cast<XLFOSourceInterface&>(area().panelOf(0)).steps(); }
    float value(int step) { return lfo().getSteps()[step].value.getValue(); }
    // The middle of a step's handle, and a point on its track away from it.
    gui::Point handle(int step)
    {
        const StepSlider& s = steps().slider(step);
        return s.toRoot({s.width() / 2, static_cast<int>(std::lround(s.handleY()))});
    }
    gui::Point track(int step)
    {
        const StepSlider& s = steps().slider(step);
        const int y = s.handleY() > s.height() / 2 ? 3 : s.height() - 3;
        return s.toRoot({s.width() / 2, y});
    }
    // The step the interface's Value knob is bound to.
    int interfaceStep()
    {
        const int bound = editor.bindingOf(steps().stepInterface().valueKnob())->parameterIndex();
        for (int s = 0; s < XLFOController::maxSteps; ++s)
            if (lfo().getSteps()[s].value.getIndex() == bound)
                return s;
        return -1;
    }
};

unsigned steps(std::initializer_list<int> list)
{
    unsigned mask = 0;
    for (int s : list)
        mask |= 1u << s;
    return mask;
}

} // namespace

TEST(XLFOController, SelectionFollowsCtrlShiftAndPlainClicks)
{
    StepRig rig(8);
    XLFOController& editor = rig.steps();

    // Steps 3 and 7: the interface shows step 7, the highest.
    rig.click(rig.handle(2));
    rig.click(rig.handle(6), gui::Modifier::Control);
    EXPECT_EQ(editor.selection(), steps({2, 6}));
    EXPECT_EQ(editor.currentStep(), 6);
    EXPECT_TRUE(editor.stepInterface().visible.get());
    EXPECT_EQ(rig.interfaceStep(), 6);
    // Ctrl-clicking step 7 again makes step 3 current.
    rig.click(rig.handle(6), gui::Modifier::Control);
    EXPECT_EQ(editor.selection(), steps({2}));
    EXPECT_EQ(rig.interfaceStep(), 2);
    // Shift extends from the current step.
    rig.click(rig.handle(5), gui::Modifier::Shift);
    EXPECT_EQ(editor.selection(), steps({2, 3, 4, 5}));

    // A click beside the handles deselects all, which hides the interface;
    // so does Hide.
    rig.click(rig.track(1));
    EXPECT_EQ(editor.selection(), 0u);
    EXPECT_FALSE(editor.stepInterface().visible.get());
    // Shift with nothing selected selects only the clicked step.
    rig.click(rig.handle(4), gui::Modifier::Shift);
    EXPECT_EQ(editor.selection(), steps({4}));
    rig.click(EditorRig::centreOf(editor.stepInterface().hideButton()));
    EXPECT_EQ(editor.selection(), 0u);

    // Two pixels of movement are still a click: the step is selected, its
    // value untouched; three are a drag.
    const float before = rig.value(1);
    const gui::Point h = rig.handle(1);
    rig.drag(h, {{h.x, h.y - 2}});
    EXPECT_EQ(editor.selection(), steps({1}));
    EXPECT_FLOAT_EQ(rig.value(1), before);
    rig.click(rig.track(1));
    rig.drag(h, {{h.x, h.y - 3}});
    EXPECT_EQ(editor.selection(), 0u);
    EXPECT_GT(rig.value(1), before);

    // A random step takes clicks only on its die's band.
    rig.set(rig.lfo().getSteps()[3].random, 1.0f);
    rig.set(rig.lfo().getSteps()[3].value, 0.9f);
    rig.click(rig.handle(3));
    EXPECT_EQ(editor.selection(), 0u);
    const StepSlider& random = editor.slider(3);
    rig.click(random.toRoot({random.width() / 2, random.height() / 2}));
    EXPECT_EQ(editor.selection(), steps({3}));
}

TEST(XLFOController, SelectedStepsMoveTogetherAndTakeTheInterfacesValues)
{
    StepRig rig(4);
    XLFOController& editor = rig.steps();
    rig.set(rig.lfo().getSteps()[0].value, 0.2f);
    rig.set(rig.lfo().getSteps()[2].value, -0.5f);
    rig.set(rig.lfo().getSteps()[3].value, 0.8f);
    rig.click(rig.handle(0));
    rig.click(rig.handle(2), gui::Modifier::Control);
    rig.click(rig.handle(3), gui::Modifier::Control);
    const int undoBefore = rig.undoCount();

    // Dragging step 1 up by a quarter of its travel: every selected step
    // moves by the same amount, step 4 stops at the top.
    const StepSlider& s = editor.slider(0);
    const int quarter = (s.height() - StepSlider::handleHeight) / 4;
    const gui::Point h = rig.handle(0);
    rig.drag(h, {{h.x, h.y - quarter / 2}, {h.x, h.y - quarter}});
    const float moved = rig.value(0) - 0.2f;
    EXPECT_NEAR(moved, 0.5f, 0.05f);
    EXPECT_NEAR(rig.value(2), -0.5f + moved, 1e-3f);
    EXPECT_FLOAT_EQ(rig.value(3), 1.0f);
    EXPECT_FLOAT_EQ(rig.value(1), 0.0f);
    EXPECT_EQ(rig.undoCount(), undoBefore + 1);
    // The interface went back to the current step after following step 1.
    EXPECT_EQ(rig.interfaceStep(), 3);

    // Random from the interface: every selected step.
    rig.click(EditorRig::centreOf(editor.stepInterface().randomSwitch()));
    for (int step : {0, 2, 3})
        EXPECT_FLOAT_EQ(rig.lfo().getSteps()[step].random.getValue(), 1.0f) << step;
    EXPECT_FLOAT_EQ(rig.lfo().getSteps()[1].random.getValue(), 0.0f);
    // The Value knob's reset (Ctrl-click) sets 0, the middle, for all.
    rig.click(EditorRig::centreOf(editor.stepInterface().valueKnob()), gui::Modifier::Control);
    for (int step : {0, 2, 3})
        EXPECT_FLOAT_EQ(rig.value(step), 0.0f) << step;
}

TEST(XLFOController, AddAndRemoveStepKeepToTheirLimits)
{
    StepRig rig(4);
    XLFOController& editor = rig.steps();
    auto count = [&] { return rig.lfo().getSteps().getNumActive(); };
    rig.set(rig.lfo().getSteps()[1].value, -0.7f);

    // After the current step, as a copy of it; the new step is selected.
    rig.click(rig.handle(1));
    rig.click(EditorRig::centreOf(editor.addStepButton()));
    EXPECT_EQ(count(), 5);
    EXPECT_FLOAT_EQ(rig.value(2), -0.7f);
    EXPECT_EQ(editor.selection(), steps({2}));
    // The sliders share the width again, after the resize animation.
    EXPECT_TRUE(editor.slider(4).visible.get());
    rig.ui.advance(XLFOController::ResizeAnimation::duration + 20);
    EXPECT_EQ(editor.slider(4).frame().right, editor.width() - 1);

    // With all selected, Remove Step leaves exactly one step.
    rig.click(rig.handle(0));
    rig.click(rig.handle(4), gui::Modifier::Shift);
    rig.click(EditorRig::centreOf(editor.removeStepButton()));
    EXPECT_EQ(count(), 1);
    EXPECT_FALSE(editor.slider(1).visible.get());
    // The step left is still selected, and the interface shows it.
    EXPECT_EQ(editor.currentStep(), 0);
    EXPECT_EQ(rig.interfaceStep(), 0);
    // None selected: the last step goes, but never the only one.
    rig.set(rig.lfo().getSteps().getNumActiveParameter(), 3.0f);
    rig.click(EditorRig::centreOf(editor.stepInterface().hideButton()));
    rig.click(EditorRig::centreOf(editor.removeStepButton()));
    EXPECT_EQ(count(), 2);

    // Sixteen steps: Add Step does nothing.
    rig.set(rig.lfo().getSteps().getNumActiveParameter(), 16.0f);
    const int undoBefore = rig.undoCount();
    rig.click(EditorRig::centreOf(editor.addStepButton()));
    EXPECT_EQ(count(), 16);
    EXPECT_EQ(rig.undoCount(), undoBefore);
}

// MIDI learn in the editor, fed synthetic input and MIDI through the
// plug-in's own input: the mode dims all but the learnable controls, a click
// chooses one, a controller moved completes the association, and the MIDI
// menu clears associations and switches MIDI control off and on. (That a
// learned controller moves every instance is the LV2 UI's test.)

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
