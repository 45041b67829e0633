// The editor frame: undo points at the end of gestures and after commands,
// gestures a host sees, linked knobs, changes made elsewhere reaching the
// controls, and the help hints with the one-time welcome.
#include "EditorRig.h"

#include "AllocationCounter.h"
#include "editor/EditorButton.h"
#include "editor/EditorTopBar.h"
#include "editor/FilterPanel.h"
#include "editor/HelpHintWindow.h"
#include "editor/ParameterKnob.h"
#include "framework/CompareStates.h"
#include "framework/GlobalSettings.h"
#include "persistence/PresetLibrary.h"
#include "persistence/SectionPresets.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

using editortest::EditorRig;

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
