// The filter display driven by synthetic mouse input: dots against the
// display's mapping (x = 10 + 620 f, y = 10 + 243 (1 - p) inside the 640 x
// 263 display), toggle clicks that must not move a dot, pinning at the
// edges, linked groups moved plainly and by rotation, and the undo steps the
// history sees. (Gestures, undo of a drag and the host's view of it are
// driven through the LV2 UI in tests/host/lv2.)
#include "EditorRig.h"

#include "framework/CompareStates.h"

#include <gtest/gtest.h>

#include <tuple>

using editortest::EditorRig;
using gui::Modifier::Alt;
using gui::Modifier::Control;
using gui::Modifier::Shift;

namespace {

constexpr float tolerance = 1e-4f;

// Where a dot at normalized (f, p) sits in the window (the display is at
// (0, 34)), from the display's mapping.
gui::PointF windowPoint(float f, float p) { return {10.0f + 620.0f * f, 34.0f + 10.0f + 243.0f * (1.0f - p)}; }

} // namespace

TEST(FilterDisplay, DragsMoveTheDotAsOneGestureAndClicksStepSlopeAndResponseWithoutMovingIt)
{
    EditorRig rig;
    FilterParameterSet& f1 = rig.filter(0);
    rig.set(f1.freq, 0.5f);
    rig.set(f1.peak, 0.5f);
    const gui::Point start = rig.dotAt(0);
    ASSERT_NEAR(start.x, windowPoint(0.5f, 0.5f).x, 0.5f);
    ASSERT_NEAR(start.y, windowPoint(0.5f, 0.5f).y, 0.5f);

    // Grabbed beside its centre, the dot moves by what the mouse moved; far
    // past the corners the values stop at the ends of their ranges. (The
    // gestures a host sees of a drag: the LV2 UI's test.)
    rig.drag({start.x + 3, start.y + 2}, {{start.x + 33, start.y - 8}, {start.x + 65, start.y - 22}});
    EXPECT_NEAR(f1.freq.getNormalized(), 0.5f + 62.0f / 620.0f, tolerance);
    EXPECT_NEAR(f1.peak.getNormalized(), 0.5f + 24.0f / 243.0f, tolerance);
    for (const auto& [to, freq, peak] : {std::tuple{gui::Point{-500, -500}, 0.0f, 1.0f}, {{2000, 2000}, 1.0f, 0.0f}}) {
        rig.drag(rig.dotAt(0), {to});
        EXPECT_EQ(f1.freq.getNormalized(), freq);
        EXPECT_EQ(f1.peak.getNormalized(), peak);
    }

    // Shift-clicks step the slope round, Ctrl-clicks the response; the mouse
    // wanders before the release and the dot stays.
    rig.set(f1.freq, 0.4f);
    rig.set(f1.peak, 0.3f);
    const int undoBefore = rig.undoCount();
    const std::tuple<int, AbstractPluginParameter*, float> clicks[] = {
        {Shift, &f1.slope, 2.0f},      {Shift, &f1.slope, 3.0f},      {Shift, &f1.slope, 1.0f},
        {Control, &f1.response, 1.0f}, {Control, &f1.response, 2.0f}, {Control, &f1.response, 0.0f}};
    for (const auto& [keys, parameter, expected] : clicks) {
        const gui::Point at = rig.dotAt(0);
        rig.drag(at, {{at.x + 25, at.y - 15}, {at.x - 30, at.y + 30}}, keys);
        EXPECT_EQ(parameter->getValue(), expected);
        EXPECT_NEAR(f1.freq.getNormalized(), 0.4f, tolerance);
        EXPECT_NEAR(f1.peak.getNormalized(), 0.3f, tolerance);
    }
    EXPECT_EQ(rig.undoCount(), undoBefore + 6);

    // A press and release that moves nothing is a gesture for the host but
    // no step for the history.
    rig.host.gestures.clear();
    rig.click(rig.dotAt(0));
    EXPECT_EQ(rig.host.gestures.size(), 4u);
    EXPECT_EQ(rig.undoCount(), undoBefore + 6);
}

TEST(FilterDisplay, LinkedFiltersMoveTogetherOrTurnAroundTheirCentre)
{
    EditorRig rig;
    rig.set(rig.plugin.filters.getNumActiveParameter(), 2.0f);
    FilterParameterSet& f1 = rig.filter(0);
    FilterParameterSet& f2 = rig.filter(1);
    auto place = [&](float freq1, float peak1, float freq2, float peak2) {
        rig.set(f1.freq, freq1);
        rig.set(f1.peak, peak1);
        rig.set(f2.freq, freq2);
        rig.set(f2.peak, peak2);
    };
    place(0.3f, 0.5f, 0.7f, 0.5f);

    // Unlinked, and with only one filter linked, Alt moves the dot alone.
    for (bool linkFirst : {false, true}) {
        rig.set(f1.linked, linkFirst ? 1.0f : 0.0f);
        const gui::Point at = rig.dotAt(0);
        rig.drag(at, {{at.x + 31, at.y}}, Alt);
        EXPECT_NEAR(f1.freq.getNormalized(), 0.35f, tolerance);
        EXPECT_NEAR(f2.freq.getNormalized(), 0.7f, tolerance);
        place(0.3f, 0.5f, 0.7f, 0.5f);
    }

    rig.set(f2.linked, 1.0f);
    ASSERT_EQ(rig.display().linkCount(), 2);
    EXPECT_NEAR(rig.display().linkCentre().x, 10.0f + 620.0f * 0.5f, 0.01f);

    // Alt drags the group as it is.
    gui::Point at = rig.dotAt(0);
    rig.drag(at, {{at.x + 31, at.y - 12}}, Alt);
    EXPECT_NEAR(f1.freq.getNormalized(), 0.35f, tolerance);
    EXPECT_NEAR(f2.freq.getNormalized(), 0.75f, tolerance);
    EXPECT_NEAR(f1.peak.getNormalized() - 0.5f, 12.0f / 243.0f, tolerance);
    EXPECT_NEAR(f2.peak.getNormalized() - 0.5f, 12.0f / 243.0f, tolerance);

    // The link dot does the same without a modifier.
    place(0.3f, 0.5f, 0.7f, 0.5f);
    const gui::Point link{static_cast<int>(std::lround(rig.display().linkCentre().x)),
                          34 + static_cast<int>(std::lround(rig.display().linkCentre().y))};
    rig.drag(link, {{link.x - 62, link.y}});
    EXPECT_NEAR(f1.freq.getNormalized(), 0.2f, tolerance);
    EXPECT_NEAR(f2.freq.getNormalized(), 0.6f, tolerance);

    // Alt+Ctrl turns the group: lifting the left dot lowers the right one
    // by as much (the two sit opposite each other around the centre), and
    // pulling it outwards spreads them both.
    place(0.3f, 0.5f, 0.7f, 0.5f);
    at = rig.dotAt(0);
    rig.drag(at, {{at.x, at.y - 20}, {at.x, at.y - 40}}, Alt | Control);
    EXPECT_NEAR(f1.peak.getNormalized() - 0.5f, 40.0f / 243.0f, tolerance);
    EXPECT_NEAR(f2.peak.getNormalized() - 0.5f, -40.0f / 243.0f, 2e-3f);
    EXPECT_NEAR(f1.freq.getNormalized(), 0.3f, tolerance);
    EXPECT_NEAR(f2.freq.getNormalized(), 0.7f, 2e-3f);
    place(0.3f, 0.5f, 0.7f, 0.5f);
    at = rig.dotAt(0);
    rig.drag(at, {{at.x - 62, at.y}}, Alt | Control);
    EXPECT_NEAR(f1.freq.getNormalized(), 0.2f, tolerance);
    EXPECT_NEAR(f2.freq.getNormalized(), 0.8f, 2e-3f);
}

TEST(FilterDisplay, AddedFiltersStartBesideTheOthersAndCopyTheActiveFilter)
{
    EditorRig rig;
    FilterParameterSet& f1 = rig.filter(0);
    rig.set(f1.characteristic, 3.0f);
    rig.set(f1.slope, 3.0f);
    const int undoBefore = rig.undoCount();
    for (int added = 1; added < 4; ++added) {
        rig.editor.addFilter();
        EXPECT_EQ(rig.plugin.filters.getNumActive(), added + 1);
        EXPECT_EQ(rig.editor.activeFilter(), added);
        const auto& dots = rig.display().dots();
        const auto& fresh = dots[static_cast<std::size_t>(added)];
        // A low-pass starts from the right: the first place along the bottom
        // whose dot covers none of the others.
        for (std::size_t other = 0; other < static_cast<std::size_t>(added); ++other)
            EXPECT_FALSE(fresh.rect.intersects(dots[other].rect)) << added;
        EXPECT_EQ(fresh.peak, 0.0f);
        EXPECT_GT(fresh.frequency, 0.8f);
        EXPECT_EQ(rig.filter(added).characteristic.getValue(), 3.0f);
        EXPECT_EQ(rig.filter(added).slope.getValue(), 3.0f);
    }
    rig.editor.addFilter();
    EXPECT_EQ(rig.plugin.filters.getNumActive(), 4);
    EXPECT_EQ(rig.undoCount(), undoBefore + 3);

    // Remove takes the active filter out; the last one stays.
    rig.editor.setActiveFilter(1);
    const float third = rig.filter(2).freq.getNormalized();
    rig.editor.removeFilter();
    EXPECT_EQ(rig.plugin.filters.getNumActive(), 3);
    EXPECT_EQ(rig.filter(1).freq.getNormalized(), third);
    for (int i = 0; i < 5; ++i)
        rig.editor.removeFilter();
    EXPECT_EQ(rig.plugin.filters.getNumActive(), 1);
    EXPECT_EQ(rig.display().dots().size(), 1u);
}
