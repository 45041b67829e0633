// The XLFO step editor, fed synthetic clicks and drags: selection with
// Ctrl and Shift, the 2-pixel click, group drags that keep differences, the
// step interface bound to the current step and applied to all selected
// steps, random steps' hit band, and Add Step / Remove Step at their limits.
#include "EditorRig.h"

#include "editor/EditorButton.h"
#include "editor/ParameterBinding.h"
#include "editor/ParameterKnob.h"
#include "editor/SwitchControls.h"
#include "editor/modulation/XLFOController.h"
#include "editor/modulation/XLFOSourceInterface.h"
#include "modulation/XLFOParameterSet.h"

#include <gtest/gtest.h>

#include <cmath>

using editortest::EditorRig;
using StepSlider = XLFOController::StepSlider;

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
