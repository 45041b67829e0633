// The editor frame: undo points at the end of gestures and after commands,
// gestures a host sees, linked knobs, changes made elsewhere reaching the
// controls, and the help hints with the one-time welcome.
#include "AllocationCounter.h"
#include "EditorRig.h"
#include "TestFiles.h"
#include "editor/EditorButton.h"
#include "editor/EditorTopBar.h"
#include "editor/FilterPanel.h"
#include "editor/HelpHintWindow.h"
#include "editor/ParameterKnob.h"
#include "framework/CompareStates.h"
#include "framework/GlobalSettings.h"
#include "persistence/PresetLibrary.h"
#include "persistence/SectionPresets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

using editortest::EditorRig;
using gui::Modifier::Alt;
using gui::Modifier::Control;
using gui::Modifier::Shift;

namespace {

// Moves the mouse up by `pixels` in 10-pixel steps, quickly enough for the
// full rate (a full range per 200 pixels).
std::vector<gui::Point> upwards(gui::Point from, int pixels)
{
    std::vector<gui::Point> path;
    for (int moved = 10; moved <= pixels; moved += 10)
        path.push_back({from.x, from.y - moved});
    return path;
}

struct OpeningRecorder : gui::HeadlessInterface {
    using gui::HeadlessInterface::HeadlessInterface;
    std::vector<std::string> opened;
    bool openExternally(const std::string& target) override
    {
        opened.push_back(target);
        return true;
    }
};

} // namespace

TEST(EditorFrame, KnobGesturesReachTheHostAndTakeOneUndoStepOnlyWhenTheyChangeSomething)
{
    EditorRig rig;
    ParameterKnob& peak = *rig.editor.filterPanel().peak;
    FilterParameterSet& f1 = rig.filter(0);
    const std::string index = std::to_string(f1.peak.getIndex());
    const int undoBefore = rig.undoCount();

    rig.click(EditorRig::centreOf(peak));
    EXPECT_EQ(rig.host.gestures, (std::vector<std::string>{"begin " + index, "end " + index}));
    EXPECT_EQ(rig.undoCount(), undoBefore);

    rig.host.gestures.clear();
    rig.drag(EditorRig::centreOf(peak), upwards(EditorRig::centreOf(peak), 100));
    EXPECT_NEAR(f1.peak.getNormalized(), 0.5f, 1e-3f);
    EXPECT_EQ(rig.host.gestures, (std::vector<std::string>{"begin " + index, "end " + index}));
    EXPECT_EQ(rig.undoCount(), undoBefore + 1);

    // Linked filters follow under Alt by the same share of their range, and
    // the host hears a gesture on each.
    rig.set(rig.plugin.filters.getNumActiveParameter(), 2.0f);
    FilterParameterSet& f2 = rig.filter(1);
    rig.set(f2.peak, 0.2f);
    rig.set(f1.linked, 1.0f);
    rig.set(f2.linked, 1.0f);
    rig.host.gestures.clear();
    rig.drag(EditorRig::centreOf(peak), upwards(EditorRig::centreOf(peak), 40), gui::Modifier::Alt);
    EXPECT_NEAR(f1.peak.getNormalized(), 0.7f, 1e-3f);
    EXPECT_NEAR(f2.peak.getNormalized(), 0.4f, 1e-3f);
    const std::string other = std::to_string(f2.peak.getIndex());
    EXPECT_EQ(rig.host.gestures,
              (std::vector<std::string>{"begin " + index, "begin " + other, "end " + index, "end " + other}));
    // Without Alt the linked filter stays.
    rig.drag(EditorRig::centreOf(peak), upwards(EditorRig::centreOf(peak), 20));
    EXPECT_NEAR(f1.peak.getNormalized(), 0.8f, 1e-3f);
    EXPECT_NEAR(f2.peak.getNormalized(), 0.4f, 1e-3f);
}

// A and B keep their own edits; a switch is an undo step and undoing one
// returns to the side it left, Copy is none.
TEST(EditorFrame, CompareKeepsEachSidesEditsAndItsSwitchesAreUndoSteps)
{
    EditorRig rig;
    FilterParameterSet& f1 = rig.filter(0);
    ParameterKnob& peak = *rig.editor.filterPanel().peak;
    GenericPlugin::CompareStates& compare = *rig.plugin.getCompareStates();
    auto press = [&](EditorButton& button) { rig.click(button.toRoot({5, 5})); };
    rig.drag(EditorRig::centreOf(peak), upwards(EditorRig::centreOf(peak), 60));
    const float inA = f1.peak.getValue();
    const int undoBefore = rig.undoCount();

    press(rig.editor.topBar().compare);
    EXPECT_EQ(compare.getCurrent(), 1);
    EXPECT_EQ(f1.peak.getValue(), 0.0f); // B still holds the state the editor opened with
    EXPECT_EQ(peak.value, 0);
    rig.drag(EditorRig::centreOf(peak), upwards(EditorRig::centreOf(peak), 20));
    const float inB = f1.peak.getValue();
    press(rig.editor.topBar().compare);
    EXPECT_EQ(f1.peak.getValue(), inA);
    EXPECT_EQ(rig.undoCount(), undoBefore + 3);
    rig.editor.undo();
    EXPECT_EQ(compare.getCurrent(), 1);
    EXPECT_EQ(f1.peak.getValue(), inB);
    EXPECT_TRUE(compare.wasChangedByUndo());

    press(rig.editor.topBar().copy);
    EXPECT_FALSE(compare.wasChangedByUndo());
    EXPECT_EQ(rig.undoCount(), undoBefore + 2);
    press(rig.editor.topBar().compare);
    EXPECT_EQ(compare.getCurrent(), 0);
    EXPECT_EQ(f1.peak.getValue(), inB);
}

TEST(EditorFrame, ChangesMadeElsewhereShowAfterTheNextRefresh)
{
    EditorRig rig;
    FilterParameterSet& f1 = rig.filter(0);
    ParameterKnob& peak = *rig.editor.filterPanel().peak;

    // The listener may run on the audio thread (a parameter moved by MIDI):
    // it only marks, and allocates nothing.
    {
        testsupport::AllocationScope scope;
        rig.editor.changed(GenericPlugin::valuesChangedMask, f1.peak.getIndex());
        rig.editor.changed(GenericPlugin::presetChangedMask, 0);
        EXPECT_EQ(scope.count(), 0u);
    }

    std::thread elsewhere([&] { f1.peak.setValue(0.25f, 0); });
    elsewhere.join();
    EXPECT_EQ(peak.value, 0);
    rig.editor.refresh();
    EXPECT_EQ(peak.value, 1024);

    // The host set it without telling the listener.
    f1.peak.setValue(0.75f, 1);
    rig.editor.markChanged(f1.peak.getIndex());
    rig.editor.refresh();
    EXPECT_EQ(peak.value, 3072);

    // Another filter's panel shows its own values.
    rig.set(rig.plugin.filters.getNumActiveParameter(), 3.0f);
    rig.set(rig.filter(2).peak, 0.5f);
    rig.click(rig.editor.filterPanel().filterButtons[2]->toRoot({5, 5}));
    EXPECT_EQ(rig.editor.activeFilter(), 2);
    EXPECT_EQ(peak.value, 2048);
}

TEST(EditorFrame, HintsFollowTheSettingAndTheWelcomeShowsOnce)
{
    // After the first instance has read the user's settings.
    OstrandPlugin plugin;
    GlobalSettings& settings = GlobalSettings::shared();
    settings.showWelcomeHint = true;
    settings.showInteractiveHelp = false;
    {
        OpeningRecorder ui(640, 522);
        OstrandInterface editor(ui, plugin);
        EXPECT_TRUE(editor.hintWindow().visible);
        EXPECT_EQ(editor.hintWindow().text(), OstrandInterface::welcomeText);
        EXPECT_FALSE(settings.showWelcomeHint.get());

        // Resting on a knob with hints off shows nothing; the welcome goes
        // once the mouse moves on.
        const gui::Point knob = EditorRig::centreOf(*editor.filterPanel().delay);
        ui.root().mouseMoveAt(knob, 0);
        ui.advance(2000);
        EXPECT_FALSE(editor.hintWindow().visible);
        editor.runHelpItem(GenericPluginInterface::HelpItem::interactiveHints);
        EXPECT_TRUE(settings.showInteractiveHelp.get());
        ui.root().mouseMoveAt({knob.x + 1, knob.y}, 0);
        ui.root().mouseMoveAt({600, 480}, 0);
        ui.root().mouseMoveAt(knob, 0);
        ui.advance(1000);
        EXPECT_FALSE(editor.hintWindow().visible);
        ui.advance(600);
        EXPECT_TRUE(editor.hintWindow().visible);
        EXPECT_EQ(editor.hintWindow().text(), plugin.filters[0].delay.getHelpText());

        editor.runHelpItem(GenericPluginInterface::HelpItem::webSite);
        editor.runHelpItem(GenericPluginInterface::HelpItem::support);
        EXPECT_EQ(ui.opened, (std::vector<std::string>{GenericPluginInterface::webSiteAddress,
                                                       GenericPluginInterface::supportAddress}));
    }
    OpeningRecorder again(640, 522);
    OstrandInterface second(again, plugin);
    EXPECT_FALSE(second.hintWindow().visible);
}

TEST(EditorFrame, PresetMenuArrowsAndSaveAsWorkOnTheFilesInThePresetFolder)
{
    EditorRig rig;
    testsupport::ScratchFolder dir;
    PresetLibrary& library = PresetLibrary::shared();
    const std::string usersFolder = library.getPath();
    library.setPath(dir / "");
    GlobalSettings::shared().savePresetItemEnabled = true;
    FilterParameterSet& f1 = rig.filter(0);
    const gui::Point presets = rig.editor.topBar().presets.toRoot({5, 5});
    // The menu from its end: the Filters and Slots section submenus, Change
    // Preset Folder..., View Bank/Program Numbers, Save As...
    constexpr int filtersMenu = -2, saveAs = -5;
    auto choose = [&](std::initializer_list<int> items) {
        rig.click(presets);
        for (int item : items)
            rig.chooseFromMenu(item);
    };
    auto enter = [&](const std::string& name) {
        rig.root().keyDown({gui::KeyCode::Home, "", 0});
        for (int i = 0; i < 40; ++i)
            rig.root().keyDown({gui::KeyCode::Delete, "", 0});
        for (char c : name)
            rig.root().keyDown({gui::KeyCode::Character, std::string(1, c), 0});
        rig.root().keyDown({gui::KeyCode::Enter, "", 0});
        rig.ui.deletePending();
        rig.editor.refresh();
    };

    // Save As writes the file under the typed name and makes it the preset
    // the bar shows; a name in use is replaced only when the user agrees.
    rig.set(f1.peak, 0.25f);
    choose({saveAs});
    enter("Low");
    ASSERT_TRUE(std::filesystem::exists(dir / "Low.mvp"));
    EXPECT_EQ(rig.editor.topBar().presets.caption.get(), "Low");
    rig.set(f1.peak, 0.75f);
    choose({saveAs});
    enter("Loud");
    choose({saveAs});
    enter("Low");
    EXPECT_EQ(rig.message(), "A preset named \"Low\" exists. Replace it?");
    rig.root().keyDown({gui::KeyCode::Escape, "", 0});
    rig.ui.deletePending();

    // The menu lists the folder's presets by name and loads the one chosen
    // as an undo step; the arrows step through the folder.
    const int undoBefore = rig.undoCount();
    choose({0});
    EXPECT_FLOAT_EQ(f1.peak.getValue(), 0.75f);
    EXPECT_EQ(rig.editor.topBar().presets.caption.get(), "Loud");
    EXPECT_EQ(rig.undoCount(), undoBefore + 1);
    rig.click(rig.editor.topBar().next.toRoot({5, 5}));
    EXPECT_FLOAT_EQ(f1.peak.getValue(), 0.25f);
    EXPECT_EQ(rig.editor.topBar().presets.caption.get(), "Low");
    rig.click(rig.editor.topBar().previous.toRoot({5, 5}));
    rig.editor.undo();
    rig.editor.redo();
    EXPECT_FLOAT_EQ(f1.peak.getValue(), 0.75f);

    // A damaged file says so and changes nothing.
    std::ofstream(dir / "Broken.mvp") << "not a preset";
    library.presets().rescan();
    choose({0});
    EXPECT_EQ(rig.message(), presetLoadFailedMessage);
    rig.dismissMessage();
    EXPECT_FLOAT_EQ(f1.peak.getValue(), 0.75f);

    // The filters alone, saved as a section preset and loaded back over
    // other settings.
    choose({filtersMenu, -1});
    enter("Bright");
    rig.set(f1.peak, 0.5f);
    choose({filtersMenu, 0});
    EXPECT_FLOAT_EQ(f1.peak.getValue(), 0.75f);
    library.setPath(usersFolder);
    GlobalSettings::shared().savePresetItemEnabled = false;
}

// The filter display driven by synthetic mouse input: dots against the
// display's mapping (x = 10 + 620 f, y = 10 + 243 (1 - p) inside the 640 x
// 263 display), toggle clicks that must not move a dot, pinning at the
// edges, linked groups moved plainly and by rotation, and the undo steps the
// history sees. (Gestures, undo of a drag and the host's view of it are
// driven through the LV2 UI in tests/host/lv2.)

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
